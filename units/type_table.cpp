// The core library's data type table: the 51 types by number with their names, type flags
// and icon resource numbers; each unit type's subsystem registers its property table and
// interface function. Types nobody registered keep their names and flags and have no
// interface function, so a window holding one fails to load.
#include "units/core_units.h"
#include "units/framework.h"
#include "units/media_units.h"

namespace units {

namespace {

struct TypeRow {
  const char* name;
  const char* english;
  uint32_t flags;
  uint32_t icon;
};

// By type number - 1.
constexpr TypeRow kRows[kCoreTypeCount] = {
    {"窗口", "window", 0x800000D0, 0},
    {"报表", "rpt", 0x80000001, 0},
    {"菜单", "menu", 0x80000004, 0},
    {"字体", "font", 0x80000000, 0},
    {"编辑框", "EditBox", 0x80000040, 261},
    {"图片框", "PicBox", 0x840100C0, 0},
    {"外形框", "ShapeBox", 0x840100C0, 0},
    {"画板", "DrawPanel", 0x800200C0, 0},
    {"分组框", "GroupBox", 0x840140C0, 0},
    {"标签", "Label", 0x84012040, 262},
    {"按钮", "Button", 0x80000840, 265},
    {"选择框", "CheckBox", 0x80001040, 266},
    {"单选框", "RadioBox", 0x80000440, 267},
    {"组合框", "ComboBox", 0x80000240, 268},
    {"列表框", "ListBox", 0x80000040, 0},
    {"选择列表框", "ChkListBox", 0x80000040, 0},
    {"横向滚动条", "HScrollBar", 0x80020040, 0},
    {"纵向滚动条", "VScrollBar", 0x80020040, 0},
    {"进度条", "ProcessBar", 0x84010040, 0},
    {"滑块条", "SliderBar", 0x80000040, 0},
    {"选择夹", "Tab", 0x800101C0, 1004},
    {"影像框", "AnimateBox", 0x84010040, 0},
    {"日期框", "DatePicker", 0x80000040, 0},
    {"月历", "MonthCalendar", 0x80010040, 0},
    {"驱动器框", "DriverBox", 0x80000040, 0},
    {"目录框", "DirBox", 0x80000040, 0},
    {"文件框", "FileBox", 0x80000040, 0},
    {"颜色选择器", "ColorPicker", 0x80000040, 0},
    {"超级链接框", "HyperLinker", 0x80010040, 0},
    {"调节器", "Spin", 0x80010040, 0},
    {"通用对话框", "CommonDlg", 0x80008040, 0},
    {"时钟", "Timer", 0x80008040, 1003},
    {"打印机", "printer", 0x80008040, 0},
    {"字段信息", "FieldInf", 0x80000000, 0},
    {"数据报", "UDP2", 0x80008041, 0},
    {"数据报", "UDP", 0x80008040, 0},
    {"客户", "Client", 0x80008040, 0},
    {"服务器", "Server", 0x80008040, 0},
    {"端口", "SerialPort", 0x80008040, 0},
    {"打印设置信息", "PrintInf", 0x80000000, 0},
    {"表格", "Grid", 0x80000040, 0},
    {"数据源", "DataSrc", 0x80080040, 0},
    {"通用提供者", "NProvider", 0x80048040, 0},
    {"数据库提供者", "DBProvider", 0x80048040, 0},
    {"图形按钮", "PicBtn", 0x80010040, 0},
    {"外部数据库", "ODBCDB", 0x80008040, 272},
    {"外部数据提供者", "ODBCProvider", 0x80048040, 0},
    {"对象", "ComObject", 0x80000000, 0},
    {"变体型", "Variant", 0x80000000, 0},
    {"变体类型", "VariantType", 0x80000000, 0},
    {"无法载入的窗口组件", "ErrorControl", 0x840100C1, 1153},
};

// The menu type's four properties: caption, checked, disabled, visible.
constexpr PropertyDescriptor kMenuProperties[4] = {
    property(kPropText), property(kPropBool), property(kPropBool), property(kPropBool)};

UnitTypeEntry g_types[kCoreTypeCount];
bool g_filled = false;

// The unit types of this folder; other folders register theirs (register_unit_type).
const CoreUnitType* const kOwnTypes[] = {&kWindowUnitType, &kEditBoxUnitType, &kLabelUnitType,
                                         &kButtonUnitType, &kCheckBoxUnitType, &kTimerUnitType,
                                         &kPlaceholderUnitType,
    &kGroupBoxUnitType, &kRadioBoxUnitType, &kComboBoxUnitType, &kListBoxUnitType,
    &kChkListBoxUnitType, &kHScrollBarUnitType, &kVScrollBarUnitType, &kProcessBarUnitType,
    &kSliderBarUnitType, &kTabUnitType, &kDatePickerUnitType, &kMonthCalendarUnitType,
    &kDriverBoxUnitType, &kDirBoxUnitType, &kFileBoxUnitType, &kColorPickerUnitType,
    &kHyperLinkerUnitType, &kSpinUnitType,
    &kPicBoxUnitType, &kShapeBoxUnitType, &kDrawPanelUnitType, &kAnimateBoxUnitType,
    &kCommonDlgUnitType, &kPrinterUnitType, &kGridUnitType, &kDataSrcUnitType,
    &kNProviderUnitType, &kDBProviderUnitType, &kPicBtnUnitType};

// Names, flags and icons of all 51 types; the menu's property table; this folder's types.
void fill_rows() {
  for (int i = 0; i < kCoreTypeCount; ++i)
    g_types[i] = UnitTypeEntry{kRows[i].name, kRows[i].english, "", 0, nullptr, kRows[i].flags,
                               kRows[i].icon, 0, nullptr, 0, nullptr, nullptr, 0, nullptr};
  g_types[2].property_count = 4;
  g_types[2].properties = kMenuProperties;
  g_filled = true;
  for (const CoreUnitType* t : kOwnTypes) register_unit_type(*t);
}

}  // namespace

UnitTypeEntry* core_type_table() {
  if (!g_filled) fill_rows();
  return g_types;
}

void register_unit_type(const CoreUnitType& type) {
  if (type.number < 1 || type.number > uint32_t(kCoreTypeCount)) return;
  UnitTypeEntry& e = core_type_table()[type.number - 1];
  e.property_count = type.property_count;
  e.properties = type.properties;
  e.iface = type.iface;
}

const UnitTypeEntry* core_type_entry(uint32_t number) {
  if (number < 1 || number > uint32_t(kCoreTypeCount)) return nullptr;
  return &core_type_table()[number - 1];
}

}  // namespace units
