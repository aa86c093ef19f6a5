// The record browse and edit dialog (slot 412), run in this process and driven from a second
// thread with real keys: the caption and its counter, adding records by Ctrl+N and by Enter
// on the last field (asked once), the deleted mark, saving on leaving, the view-only flag.
#include <windows.h>
#include <gtest/gtest.h>
#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include "call.h"
#include "database/browse_dialog.h"
#include "database/create.h"
#include "database/engine.h"
#include "scratch.h"
#include "../kit/kit.h"

using namespace calls;

namespace {

constexpr int kBrowse = 412;
constexpr int kPackCommand = 1023;  // the menu item "&K.清除所有被删除记录"

HWND field_control(HWND dialog, int i) {
  HWND panel = FindWindowExA(dialog, nullptr, "OrvelBrowsePanel", nullptr);
  return panel ? GetDlgItem(panel, 2000 + i) : nullptr;
}

bool caption_becomes(HWND dialog, const std::string& want) {
  return kit::drive::wait_until([&] { return kit::drive::text(dialog) == want; });
}

// Counts the question boxes of this process ("询问") and answers them with Yes.
class Questions {
 public:
  Questions() : thread_([this] { watch(); }) {}
  ~Questions() {
    stop_ = true;
    thread_.join();
  }
  int asked() const { return asked_; }

 private:
  void watch() {
    HWND answered = nullptr;
    while (!stop_) {
      HWND box = kit::drive::find_window(GetCurrentProcessId(), "询问", "#32770", 20);
      if (box && box != answered) {
        ++asked_;
        answered = box;
        kit::drive::post(box, WM_COMMAND, IDYES);
      }
      Sleep(10);
    }
  }
  std::atomic<int> asked_{0};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

class BrowseDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    database::close_all_databases();
    ASSERT_EQ(database::create_database(folder_.path() + "\\浏览",
                                        {{"编号", database::kInt, 0}, {"名称", database::kText, 10},
                                         {"有效", database::kBool, 0}}), 0);
    database::OpenOptions o;
    o.file = folder_.path() + "\\浏览";
    ASSERT_EQ(database::open_database(o, &db_), 0);
  }
  void TearDown() override { database::close_all_databases(); }

  // Runs the dialog on this thread while `drive` runs on another; the driver closes it.
  void browse(std::vector<ArgRecord> args, const std::function<void(HWND)>& drive) {
    std::thread driver([&] {
      HWND dialog = kit::drive::find_window(GetCurrentProcessId(), "", "#32770");
      drive(dialog);
      kit::drive::post(dialog, WM_CLOSE);
    });
    call(kBrowse, args);
    driver.join();
  }

  scratch::Folder folder_{"db_browse"};
  database::Database* db_ = nullptr;
};

}  // namespace

TEST_F(BrowseDialog, AddsEditsMarksAndSavesWithKeys) {
  Questions questions;
  browse({Text("记录")}, [&](HWND dialog) {
    // Loading record 1 of an empty database fails: the status says so.
    ASSERT_TRUE(caption_becomes(dialog, "记录 - [?? / 0] - 记录 1 不存在")) << kit::drive::text(dialog);
    EXPECT_FALSE(kit::drive::enabled(field_control(dialog, 0))) << "no record: the fields are disabled";
    SetForegroundWindow(dialog);

    kit::drive::press_keys({VK_CONTROL, 'N'});
    ASSERT_TRUE(caption_becomes(dialog, "记录 - [1 / 1]")) << kit::drive::text(dialog);
    EXPECT_TRUE(kit::drive::enabled(field_control(dialog, 0)));
    kit::drive::set_text(field_control(dialog, 0), "42");
    kit::drive::set_text(field_control(dialog, 1), "第一条很长的名称");  // cut to 10 bytes

    kit::drive::press_keys({VK_CONTROL, 'D'});
    EXPECT_TRUE(caption_becomes(dialog, "记录 - [*被删除 1 / 1]")) << kit::drive::text(dialog);
    kit::drive::press_keys({VK_CONTROL, 'D'});
    EXPECT_TRUE(caption_becomes(dialog, "记录 - [1 / 1]")) << "twice restores the mark";

    // Enter on the last field of the last record asks once, then adds without asking.
    kit::drive::press_keys({VK_CONTROL, VK_END});
    kit::drive::press_keys({VK_RETURN});
    EXPECT_TRUE(caption_becomes(dialog, "记录 - [2 / 2]")) << kit::drive::text(dialog);
    kit::drive::press_keys({VK_CONTROL, VK_END});
    kit::drive::press_keys({VK_RETURN});
    EXPECT_TRUE(caption_becomes(dialog, "记录 - [3 / 3]")) << kit::drive::text(dialog);
    EXPECT_EQ(questions.asked(), 1);

    // Ctrl+PageUp goes back to the first record, saved with what was typed.
    kit::drive::press_keys({VK_CONTROL, VK_PRIOR});
    EXPECT_TRUE(caption_becomes(dialog, "记录 - [1 / 3]")) << kit::drive::text(dialog);
    EXPECT_EQ(kit::drive::text(field_control(dialog, 0)), "42");
    kit::drive::press_keys({VK_NEXT});  // a page forward stops at the last record
    EXPECT_TRUE(caption_becomes(dialog, "记录 - [3 / 3]")) << kit::drive::text(dialog);
    kit::drive::press_keys({VK_CONTROL, VK_UP});
    EXPECT_TRUE(caption_becomes(dialog, "记录 - [2 / 3]")) << kit::drive::text(dialog);
    kit::drive::set_text(field_control(dialog, 0), "7");  // saved when the dialog closes
  });
  int32_t count = 0;
  ASSERT_EQ(db_->record_count(&count), 0);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(db_->current(), 0) << "the dialog leaves the current record at 0";
  database::Value v;
  ASSERT_EQ(db_->read_field(0, v), 0);
  EXPECT_EQ(v.integer, 42);
  ASSERT_EQ(db_->read_field(1, v), 0);
  EXPECT_EQ(v.bytes, "第一条很长");
  db_->set_current(1);
  ASSERT_EQ(db_->read_field(0, v), 0);
  EXPECT_EQ(v.integer, 7);
}

TEST_F(BrowseDialog, ViewOnlyDropsEditsAndAsksNothing) {
  ASSERT_EQ(db_->append_values({database::Value::of_int(database::kInt, 5)}), 0);
  Questions questions;
  browse({Omit(), Int(database::kBrowseViewOnly), Text("编号"), Text("没有这个")}, [&](HWND dialog) {
    ASSERT_TRUE(caption_becomes(dialog, "数据库记录编辑 - [1 / 1]")) << kit::drive::text(dialog);
    EXPECT_EQ(kit::drive::text(field_control(dialog, 0)), "5");
    EXPECT_EQ(field_control(dialog, 1), nullptr) << "only the named field that exists is shown";
    kit::drive::set_text(field_control(dialog, 0), "99");
    kit::drive::post(dialog, WM_COMMAND, kPackCommand);
    SetForegroundWindow(dialog);
    kit::drive::press_keys({VK_CONTROL, 'N'});
    Sleep(300);
    EXPECT_EQ(kit::drive::text(dialog), "数据库记录编辑 - [1 / 1]");
  });
  EXPECT_EQ(questions.asked(), 0);
  database::Value v;
  ASSERT_EQ(db_->read_field(0, v), 0);
  EXPECT_EQ(v.integer, 5) << "view only: nothing is saved";
}

TEST(FieldEditor, ListsAtMost600Bytes) {
  EXPECT_EQ(database::byte_list(std::string("\x01\xFF\x00", 3)), "1,255,0");
  std::string list = database::byte_list(std::string(601, '\x07'));
  EXPECT_EQ(list.substr(list.size() - 7), ",7  ...");
  EXPECT_EQ(std::count(list.begin(), list.end(), '7'), 600);
  EXPECT_EQ(database::byte_list(std::string(600, 'x')).find("..."), std::string::npos);
}

// Every field type shown, a memo edited through the field editor, an indexed field edited:
// the index follows when the record is left. The screenshot stays as an artefact.
TEST_F(BrowseDialog, EveryFieldTypeMemoEditorAndIndexUpdate) {
  database::close_all_databases();
  const std::string file = folder_.path() + "\\全部类型";
  ASSERT_EQ(database::create_database(file, {{"字节", 1, 0}, {"短整数", 2, 0}, {"整数", 3, 0}, {"长整数", 4, 0},
                                             {"小数", 5, 0}, {"双精度", 6, 0}, {"逻辑", 7, 0}, {"日期", 8, 0},
                                             {"子程序", 9, 0}, {"文本", 10, 12}, {"字节集", 11, 0}, {"备注", 12, 0}}), 0);
  database::OpenOptions o;
  o.file = file;
  ASSERT_EQ(database::open_database(o, &db_), 0);
  database::IndexSpec spec;
  spec.file = folder_.path() + "\\按整数";
  spec.fields = {"整数"};
  ASSERT_EQ(db_->create_index(spec), 0);
  using database::Value;
  ASSERT_EQ(db_->append_values({Value::of_int(1, 200), Value::of_int(2, -3), Value::of_int(3, 10),
                                Value::of_int(4, 1LL << 40), Value::of_number(5, 1.5), Value::of_number(6, 2.25),
                                Value::of_bool(true), Value::of_number(8, 46000.5), Value::of_int(9, 0),
                                Value::of_bytes(10, "文字"), Value::of_bytes(11, "\x01\x02"), Value::of_bytes(12, "")}), 0);
  ASSERT_EQ(db_->append_values({Value::of_int(1, 1), Value::of_int(2, 1), Value::of_int(3, 20)}), 0);
  browse({Text("全部")}, [&](HWND dialog) {
    ASSERT_TRUE(caption_becomes(dialog, "全部 - [1 / 2]")) << kit::drive::text(dialog);
    EXPECT_EQ(kit::drive::text(field_control(dialog, 3)), "1099511627776");
    EXPECT_EQ(kit::drive::text(field_control(dialog, 7)), "2025年12月9日12时");
    EXPECT_EQ(kit::drive::text(field_control(dialog, 8)), "") << "a value whose text is 0 shows empty";
    EXPECT_EQ(kit::drive::check_state(field_control(dialog, 6)), BST_CHECKED);
    Sleep(200);
    kit::screenshot().save_png(kit::bin_dir() + "browse_dialog.png");

    // The memo editor: a GBK text typed in, saved.
    kit::drive::post(field_control(dialog, 11), BM_CLICK);
    HWND editor = kit::drive::find_window(GetCurrentProcessId(), "备注字段编辑 - [数据尺寸: 0]", "#32770");
    ASSERT_TRUE(editor);
    kit::drive::set_text(GetDlgItem(editor, 100), "备注：中文，第二行");
    kit::drive::click(GetDlgItem(editor, IDOK));
    ASSERT_TRUE(kit::drive::wait_until([&] { return !IsWindow(editor); }));

    // The indexed field changes; leaving the record saves it and moves its index entry.
    kit::drive::set_text(field_control(dialog, 2), "30");
    kit::drive::post(dialog, WM_COMMAND, 1004);  // "&N.下一记录"
    EXPECT_TRUE(caption_becomes(dialog, "全部 - [2 / 2]")) << kit::drive::text(dialog);
  });
  database::Value v;
  ASSERT_EQ(db_->read_field(11, v), 0);
  EXPECT_EQ(v.bytes, "备注：中文，第二行");
  ASSERT_EQ(db_->set_current_index("按整数"), 0);
  bool found = false;
  db_->set_current(0);
  ASSERT_EQ(db_->seek({Value::of_int(3, 30)}, &found), 0);
  EXPECT_TRUE(found) << "the index holds the new key";
  EXPECT_EQ(db_->current(), 0);
  db_->set_current(0);
  ASSERT_EQ(db_->seek({Value::of_int(3, 10)}, &found), 0);
  EXPECT_FALSE(found) << "and no longer the old one";
}

TEST_F(BrowseDialog, ReadOnlyDatabaseOffersNoEdits) {
  ASSERT_EQ(db_->append_values({database::Value::of_int(database::kInt, 5)}), 0);
  database::close_all_databases();
  database::OpenOptions o;
  o.file = folder_.path() + "\\浏览";
  o.read_only = true;
  ASSERT_EQ(database::open_database(o, &db_), 0);
  browse({Text("只读")}, [&](HWND dialog) {
    ASSERT_TRUE(caption_becomes(dialog, "只读 - [1 / 1]")) << kit::drive::text(dialog);
    HWND edit = field_control(dialog, 0);
    EXPECT_TRUE(GetWindowLongA(edit, GWL_STYLE) & ES_READONLY);
    HMENU changes = GetSubMenu(GetMenu(dialog), 2);
    EXPECT_TRUE(GetMenuState(changes, 1021, MF_BYCOMMAND) & MF_GRAYED) << "adding is greyed";
    EXPECT_TRUE(GetMenuState(changes, 1024, MF_BYCOMMAND) & MF_GRAYED) << "clearing is greyed";
  });
}
