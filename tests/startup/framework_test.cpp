// The framework layer: the handle-to-object map, message routing, the idle protocol of the
// message pump and pre-translation walking from a window up through its parents.
#include <gtest/gtest.h>
#include <windows.h>
#include <vector>
#include "framework/app.h"
#include "framework/window.h"

namespace {

constexpr char kClass[] = "FrameworkTestWindow";
constexpr UINT kPing = WM_APP + 7;

class TestWindow : public framework::Window {
 public:
  std::vector<UINT> seen;     // kPing messages routed to this object
  UINT consume = 0;           // message this object's pre-translation consumes
  int pretranslated = 0;
  bool pre_translate(MSG& m) override {
    ++pretranslated;
    return m.message == consume;
  }
 protected:
  LRESULT on_message(UINT msg, WPARAM wp, LPARAM lp) override {
    if (msg == kPing) {
      seen.push_back(static_cast<UINT>(wp));
      return 42;
    }
    return default_proc(msg, wp, lp);
  }
};

// Records idle counts; idle work ends after `passes` passes.
class TestApp : public framework::App {
 public:
  std::vector<long> counts;
  int routines = 0;
  long passes = 3;
 protected:
  bool on_idle(long count) override {
    counts.push_back(count);
    return count + 1 < passes;
  }
  void run_idle_routines() override { ++routines; }
};

HWND make(TestWindow& w, HWND parent = nullptr) {
  framework::Window::register_class(kClass, LoadCursor(nullptr, IDC_ARROW), nullptr);
  DWORD style = parent ? WS_CHILD : WS_OVERLAPPED;
  EXPECT_TRUE(w.create(kClass, "", style, 0, 0, 0, 10, 10, parent, nullptr));
  return w.handle();
}

}  // namespace

TEST(Framework, HandleMapBindsAndUnbinds) {
  TestWindow w;
  HWND h = make(w);
  ASSERT_TRUE(h);
  EXPECT_EQ(framework::Window::from_handle(h), &w);
  EXPECT_EQ(SendMessageA(h, kPing, 5, 0), 42);
  EXPECT_EQ(w.seen, std::vector<UINT>{5});
  EXPECT_FALSE(w.attach(h)) << "an object holds one window";
  TestWindow other;
  EXPECT_FALSE(other.attach(h)) << "a window has one object";
  EXPECT_EQ(w.detach(), h);
  EXPECT_EQ(framework::Window::from_handle(h), nullptr);
  EXPECT_TRUE(IsWindow(h)) << "detaching leaves the system window alive";
  EXPECT_TRUE(other.attach(h));
  other.destroy();
  EXPECT_FALSE(IsWindow(h));
}

TEST(Framework, DestroyedWindowLeavesTheMap) {
  size_t before = framework::Window::bound_count();
  TestWindow w;
  HWND h = make(w);
  EXPECT_EQ(framework::Window::bound_count(), before + 1);
  DestroyWindow(h);
  EXPECT_EQ(w.handle(), nullptr);
  EXPECT_EQ(framework::Window::bound_count(), before);
}

TEST(Framework, LiveObjectsAreKnown) {
  auto* w = new TestWindow;
  EXPECT_EQ(framework::Window::live_object(w), w);
  delete w;
  EXPECT_EQ(framework::Window::live_object(w), nullptr);
}

TEST(Framework, IdleCountsRunUntilTheIdleHandlerIsDone) {
  TestApp app;
  PostQuitMessage(7);
  // The quit message waits from the start, so no idle pass runs at all.
  EXPECT_EQ(app.run_loop(framework::App::kMainLoop), 7);
  EXPECT_TRUE(app.counts.empty());

  TestWindow w;
  HWND h = make(w);
  SetTimer(h, 1, 50, nullptr);  // wakes the loop later so that it can quit
  struct Quit : TestWindow {
    LRESULT on_message(UINT msg, WPARAM wp, LPARAM lp) override {
      if (msg == WM_TIMER) PostQuitMessage(3);
      return TestWindow::on_message(msg, wp, lp);
    }
  };
  Quit q;
  HWND hq = make(q);
  SetTimer(hq, 1, 100, nullptr);
  EXPECT_EQ(app.run_loop(framework::App::kMainLoop), 3);
  // First idle period: counts 0, 1, 2 then idle work stops until a message resets it.
  ASSERT_GE(app.counts.size(), 3u);
  EXPECT_EQ(app.counts[0], 0);
  EXPECT_EQ(app.counts[1], 1);
  EXPECT_EQ(app.counts[2], 2);
  EXPECT_EQ(app.routines, static_cast<int>(app.counts.size())) << "routines run on every pass";
  KillTimer(h, 1);
  KillTimer(hq, 1);
}

TEST(Framework, IdleMessagesDoNotRestartIdleWork) {
  TestApp app;
  MSG m{};
  m.message = WM_PAINT;
  EXPECT_FALSE(app.resets_idle(m));
  m.message = 0x0118;
  EXPECT_FALSE(app.resets_idle(m));
  m.message = WM_MOUSEMOVE;
  m.pt = {5, 5};
  EXPECT_TRUE(app.resets_idle(m));
  EXPECT_FALSE(app.resets_idle(m)) << "a mouse move that did not move";
  m.pt = {6, 5};
  EXPECT_TRUE(app.resets_idle(m));
  m.message = WM_KEYDOWN;
  EXPECT_TRUE(app.resets_idle(m));
}

TEST(Framework, PreTranslationWalksUpToTheMainWindow) {
  TestApp app;
  TestWindow top, middle, child;
  HWND ht = make(top);
  HWND hm = make(middle, ht);
  HWND hc = make(child, hm);
  top.consume = WM_KEYDOWN;
  MSG m{};
  m.hwnd = hc;
  m.message = WM_KEYDOWN;
  app.main_window = ht;
  EXPECT_TRUE(app.pre_translate(m));
  EXPECT_EQ(child.pretranslated, 1);
  EXPECT_EQ(middle.pretranslated, 1);
  EXPECT_EQ(top.pretranslated, 1);

  // The walk stops at the main window: above it nothing is asked.
  app.main_window = hm;
  EXPECT_FALSE(app.pre_translate(m));
  EXPECT_EQ(top.pretranslated, 1);

  // The first object that accepts consumes; those above are not asked.
  child.consume = WM_KEYDOWN;
  app.main_window = ht;
  EXPECT_TRUE(app.pre_translate(m));
  EXPECT_EQ(middle.pretranslated, 2);
  top.destroy();
}

TestWindow* g_answer = nullptr;

// A plain system window's procedure that answers the object query with g_answer.
LRESULT CALLBACK plain_proc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == framework::kQueryObject) return reinterpret_cast<LRESULT>(g_answer);
  return DefWindowProcA(h, msg, wp, lp);
}

TEST(Framework, WindowWithoutObjectIsAskedForOne) {
  TestWindow*& answer = g_answer;
  WNDCLASSA wc{};
  wc.lpfnWndProc = plain_proc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "FrameworkPlain";
  RegisterClassA(&wc);
  HWND plain = CreateWindowA("FrameworkPlain", "", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                             wc.hInstance, nullptr);
  ASSERT_TRUE(plain);
  TestWindow object;  // never bound to a window
  object.consume = WM_CHAR;
  answer = &object;
  TestApp app;
  app.main_window = plain;
  MSG m{};
  m.hwnd = plain;
  m.message = WM_CHAR;
  EXPECT_TRUE(app.pre_translate(m));
  EXPECT_EQ(object.pretranslated, 1);
  answer = reinterpret_cast<TestWindow*>(0x1234);  // not an object: ignored
  EXPECT_FALSE(app.pre_translate(m));
  DestroyWindow(plain);
}

TEST(Framework, PendingMessagesAreDispatchedAndQuitIsKept) {
  TestApp app;
  TestWindow w;
  HWND h = make(w);
  PostMessageA(h, kPing, 1, 0);
  PostMessageA(h, kPing, 2, 0);
  PostQuitMessage(9);
  PostMessageA(h, kPing, 3, 0);
  app.pump_pending();
  // The quit message comes after every posted message, and stays.
  EXPECT_EQ(w.seen, (std::vector<UINT>{1, 2, 3}));
  MSG m;
  ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(m.message, static_cast<UINT>(WM_QUIT)) << "the quit message waits for the loop";
  w.destroy();
}

namespace {

// A modal loop that ends when a timer clears the modal state.
class ModalApp : public TestApp {
 public:
  bool modal = true;
 protected:
  bool modal_active() override { return modal; }
};

ModalApp* g_modal_app = nullptr;
void CALLBACK end_modal(HWND, UINT, UINT_PTR id, DWORD) {
  g_modal_app->modal = false;
  KillTimer(nullptr, id);
}
void CALLBACK quit_now(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  PostQuitMessage(6);
}

}  // namespace

TEST(Framework, ModalLoopEndsWithTheModalState) {
  ModalApp app;
  g_modal_app = &app;
  SetTimer(nullptr, 0, 30, end_modal);
  EXPECT_EQ(app.run_loop(framework::App::kModalLoop), 0);
  EXPECT_FALSE(app.modal);
  MSG m;
  EXPECT_FALSE(PeekMessageA(&m, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
}

TEST(Framework, QuitInsideAModalLoopReachesTheOuterLoop) {
  ModalApp app;
  SetTimer(nullptr, 0, 30, quit_now);
  EXPECT_EQ(app.run_loop(framework::App::kModalLoop), 6);
  EXPECT_TRUE(app.modal) << "the modal state did not end: the quit message did";
  MSG m;
  ASSERT_TRUE(PeekMessageA(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "put back for the outer loop";
  EXPECT_EQ(m.wParam, 6u);
}
