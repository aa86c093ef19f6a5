// Printer unit: a never-shown unit that draws documents for the platform's printing. Each
// page is recorded as an enhanced metafile while it is drawn (coordinates in tenths of a
// millimetre from the top left of the printable area, inside the margins); ending the
// document plays the pages to the printer it names (empty: the default printer) with its
// orientation, paper, copies and collation. Without a printer the document stays, for
// previews, and ending it reports the failure.
#include <windows.h>
#include <commdlg.h>
#include <memory>
#include <vector>
#include "units/media_units.h"
#include "units/stored_unit.h"

namespace units {

namespace {

// Property indices of this unit type (property number - 8).
enum Property : int {
  kOrientation = 0, kPaper = 1, kPenStyle = 2, kPenWidth = 3, kPenColour = 4, kFillStyle = 5,
  kTextColour = 6, kTextBackColour = 7, kFillColour = 8, kFont = 9, kPrinterName = 10,
  kCopies = 11, kTextOpaque = 12, kLeftMargin = 13, kTopMargin = 14, kRightMargin = 15,
  kBottomMargin = 16, kPageWidth = 17, kPageHeight = 18, kCurrentX = 19, kCurrentY = 20,
  kPageNumber = 21, kDpiX = 22, kDpiY = 23, kFromPage = 24, kToPage = 25, kCollate = 26
};

constexpr Field kFields[] = {
    {Kind::kPick, 0, 1}, {Kind::kPick, 0, 6}, {Kind::kPick, 0, 5}, {Kind::kInt, 1},
    {Kind::kColour, 0}, {Kind::kPick, 1, 7}, {Kind::kColour, 0}, {Kind::kColour, 0xFFFFFF},
    {Kind::kColour, 0xFFFFFF}, {Kind::kFont}, {Kind::kText}, {Kind::kInt, 1}, {Kind::kBool},
    {Kind::kInt, 0}, {Kind::kInt, 0}, {Kind::kInt, 0}, {Kind::kInt, 0}, {Kind::kInt, 0},
    {Kind::kInt, 0}, {Kind::kInt, 0}, {Kind::kInt, 0}, {Kind::kInt, 0}, {Kind::kInt, 0},
    {Kind::kInt, 0}, {Kind::kInt, 0}, {Kind::kInt, 0}, {Kind::kBool, 1},
};

constexpr char kClass[] = "OrvelPrinter";
// Paper values: 0 the printer's own, then A4, A3, A5, B5, Letter, Legal.
constexpr short kPapers[] = {0, DMPAPER_A4, DMPAPER_A3, DMPAPER_A5, DMPAPER_B5, DMPAPER_LETTER,
                             DMPAPER_LEGAL};
// Sizes in tenths of a millimetre when no printer tells them (portrait).
constexpr SIZE kPaperSizes[] = {{2100, 2970}, {2100, 2970}, {2970, 4200}, {1480, 2100},
                                {1820, 2570}, {2159, 2794}, {2159, 3556}};

struct MetafileDeleter {
  void operator()(HENHMETAFILE h) const { DeleteEnhMetaFile(h); }
};
using Metafile = std::unique_ptr<std::remove_pointer_t<HENHMETAFILE>, MetafileDeleter>;

struct DcDeleter {
  void operator()(HDC h) const { DeleteDC(h); }
};
using OwnedDC = std::unique_ptr<std::remove_pointer_t<HDC>, DcDeleter>;

class Printer : public StoredUnit, public PrinterOps {
 public:
  Printer() : StoredUnit(kFields, std::size(kFields), 1) {}
  ~Printer() override { cancel_document(); }
  bool create_window(const CreateArgs& a) override { return create_private(kClass, a); }

  bool begin_document(const std::string& name) override {
    cancel_document();
    document_ = name;
    OwnedDC printer = printer_dc();
    measure(printer.get());
    return open_page();
  }
  bool new_page() override {
    if (!recording_ && !begin_document(document_)) return false;
    close_page();
    return open_page();
  }
  bool end_document() override {
    if (recording_) close_page();
    if (pages_.empty()) return false;
    OwnedDC dc = printer_dc();
    if (!dc) return false;  // no printer: the pages stay for a preview
    DOCINFOA info{sizeof info, document_.empty() ? "Orvel" : document_.c_str(), nullptr, nullptr, 0};
    if (StartDocA(dc.get(), &info) <= 0) return false;
    RECT area{0, 0, GetDeviceCaps(dc.get(), HORZRES), GetDeviceCaps(dc.get(), VERTRES)};
    int first = num(kFromPage) > 0 ? num(kFromPage) : 1;
    int last = num(kToPage) > 0 ? num(kToPage) : static_cast<int>(pages_.size());
    bool ok = true;
    for (int p = first; p <= last && p <= static_cast<int>(pages_.size()) && ok; ++p) {
      ok = StartPage(dc.get()) > 0 && PlayEnhMetaFile(dc.get(), pages_[p - 1].get(), &area) &&
           EndPage(dc.get()) > 0;
    }
    if (ok) EndDoc(dc.get());
    else AbortDoc(dc.get());
    if (ok) pages_.clear();
    return ok;
  }
  void cancel_document() override {
    if (recording_) close_page();
    pages_.clear();
  }
  int page_count() const override { return static_cast<int>(pages_.size()) + (recording_ ? 1 : 0); }
  bool render_page(int index, HDC dc, const RECT& area) override {
    if (index < 0 || index >= page_count()) return false;
    // The page being drawn is closed to be shown, then goes on as a copy of itself.
    bool open_page_shown = index == static_cast<int>(pages_.size());
    if (open_page_shown) close_page();
    bool ok = PlayEnhMetaFile(dc, pages_[index].get(), &area) != FALSE;
    if (open_page_shown) reopen_last_page();
    return ok;
  }
  bool clear() override {
    // The page being drawn starts again, empty.
    if (!recording_) return false;
    HENHMETAFILE dropped = CloseEnhMetaFile(page_dc_);
    DeleteEnhMetaFile(dropped);
    recording_ = false;
    page_dc_ = nullptr;
    return open_page();
  }

 protected:
  HDC canvas_dc() override {
    if (!recording_ && !begin_document(document_)) return nullptr;
    return page_dc_;
  }
  DrawStyle draw_style() override {
    DrawStyle s;
    s.pen_style = num(kPenStyle);
    s.pen_width = num(kPenWidth) < 0 ? 0 : num(kPenWidth);
    s.pen = static_cast<uint32_t>(num(kPenColour)) & 0xFFFFFF;
    s.fill_style = num(kFillStyle);
    s.fill = static_cast<uint32_t>(num(kFillColour));
    s.text_opaque = flag(kTextOpaque);
    s.text = static_cast<uint32_t>(num(kTextColour)) & 0xFFFFFF;
    s.text_back = static_cast<uint32_t>(num(kTextBackColour)) & 0xFFFFFF;
    s.font = font();
    return s;
  }
  void moved_to(int x, int y) override {
    set_num(kCurrentX, x);
    set_num(kCurrentY, y);
  }
  // The page figures are measured, not stored: they read as the current document has them.
  bool get_property(int index, PropData& out) override {
    switch (index) {
      case kPageWidth: out = int_out(printable().cx); return true;
      case kPageHeight: out = int_out(printable().cy); return true;
      case kPageNumber: out = int_out(page_count()); return true;
      case kDpiX: out = int_out(ref_dpi_.cx); return true;
      case kDpiY: out = int_out(ref_dpi_.cy); return true;
      default: return StoredUnit::get_property(index, out);
    }
  }
  int apply(int index) override {
    if (index == kCopies && num(kCopies) < 1) set_num(kCopies, 1);
    if (index >= kLeftMargin && index <= kBottomMargin && num(index) < 0) set_num(index, 0);
    return 0;
  }

 private:
  // The printer's device context with this unit's settings, or null when there is none.
  OwnedDC printer_dc() {
    std::string name = str(kPrinterName);
    if (name.empty()) {
      PRINTDLGA pd{};
      pd.lStructSize = sizeof pd;
      pd.Flags = PD_RETURNDEFAULT;
      if (!PrintDlgA(&pd)) return nullptr;
      framework::GlobalMemory mode(pd.hDevMode), names(pd.hDevNames);
      if (!names) return nullptr;
      framework::GlobalLockScope lock(names.get());
      const auto* dn = static_cast<const DEVNAMES*>(lock.get());
      if (!dn) return nullptr;
      name = reinterpret_cast<const char*>(dn) + dn->wDeviceOffset;
    }
    DEVMODEA mode{};
    mode.dmSize = sizeof mode;
    mode.dmFields = DM_ORIENTATION | DM_COPIES | DM_COLLATE;
    mode.dmOrientation = num(kOrientation) == 1 ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
    mode.dmCopies = static_cast<short>(num(kCopies) < 1 ? 1 : num(kCopies) > 999 ? 999 : num(kCopies));
    mode.dmCollate = flag(kCollate) ? DMCOLLATE_TRUE : DMCOLLATE_FALSE;
    if (num(kPaper) > 0) {
      mode.dmFields |= DM_PAPERSIZE;
      mode.dmPaperSize = kPapers[num(kPaper)];
    }
    return OwnedDC(CreateDCA("WINSPOOL", name.c_str(), nullptr, &mode));
  }
  // The page size and resolution: the printer's, or the paper's at the screen's resolution.
  void measure(HDC printer) {
    if (printer) {
      ref_dpi_ = {GetDeviceCaps(printer, LOGPIXELSX), GetDeviceCaps(printer, LOGPIXELSY)};
      page_ = {MulDiv(GetDeviceCaps(printer, HORZRES), 254, ref_dpi_.cx),
               MulDiv(GetDeviceCaps(printer, VERTRES), 254, ref_dpi_.cy)};
      return;
    }
    framework::ClientDC screen(nullptr);
    ref_dpi_ = {GetDeviceCaps(screen.get(), LOGPIXELSX), GetDeviceCaps(screen.get(), LOGPIXELSY)};
    SIZE s = kPaperSizes[num(kPaper)];
    page_ = num(kOrientation) == 1 ? SIZE{s.cy, s.cx} : s;
  }
  SIZE printable() const {
    return {page_.cx - num(kLeftMargin) - num(kRightMargin),
            page_.cy - num(kTopMargin) - num(kBottomMargin)};
  }
  bool open_page() {
    framework::ClientDC screen(nullptr);
    RECT frame{0, 0, page_.cx * 10, page_.cy * 10};  // hundredths of a millimetre
    HDC dc = CreateEnhMetaFileA(screen.get(), nullptr, &frame, nullptr);
    if (!dc) return false;
    // Tenths of a millimetre, y down, from the top left margin corner.
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowExtEx(dc, 254, 254, nullptr);
    SetViewportExtEx(dc, ref_dpi_.cx, ref_dpi_.cy, nullptr);
    SetViewportOrgEx(dc, MulDiv(num(kLeftMargin), ref_dpi_.cx, 254),
                     MulDiv(num(kTopMargin), ref_dpi_.cy, 254), nullptr);
    page_dc_ = dc;
    recording_ = true;
    return true;
  }
  // The last closed page becomes the page being drawn again, holding what it held.
  void reopen_last_page() {
    Metafile shown = std::move(pages_.back());
    pages_.pop_back();
    if (!open_page()) return;
    RECT whole{0, 0, page_.cx * ref_dpi_.cx / 254, page_.cy * ref_dpi_.cy / 254};
    int saved = SaveDC(page_dc_);
    SetMapMode(page_dc_, MM_TEXT);
    SetViewportOrgEx(page_dc_, 0, 0, nullptr);
    PlayEnhMetaFile(page_dc_, shown.get(), &whole);
    RestoreDC(page_dc_, saved);
  }
  void close_page() {
    if (!recording_) return;
    pages_.emplace_back(CloseEnhMetaFile(page_dc_));
    page_dc_ = nullptr;
    recording_ = false;
  }
  std::string document_;
  std::vector<Metafile> pages_;
  HDC page_dc_ = nullptr;
  bool recording_ = false;
  SIZE page_{2100, 2970}, ref_dpi_{96, 96};
};

void* __cdecl printer_interface(int number) { return table_interface<Printer>(number, true); }

constexpr uint16_t kTypes[] = {kPropPick, kPropPick, kPropPick, kPropInt, kPropColour, kPropPick,
                               kPropColour, kPropColour, kPropColourOrClear, kPropFont, kPropText,
                               kPropInt, kPropBool, kPropInt, kPropInt, kPropInt, kPropInt,
                               kPropInt, kPropInt, kPropInt, kPropInt, kPropInt, kPropInt,
                               kPropInt, kPropInt, kPropInt, kPropBool};
constexpr auto kProperties = with_common(kTypes);
static_assert(kProperties.size() == 35);

}  // namespace

const CoreUnitType kPrinterUnitType{33, kProperties.data(), kProperties.size(), &printer_interface};

}  // namespace units
