// Picture and font objects: the platform's picture and font objects made from the system's
// picture data and font records, and saved back into them.
#include "com/graphics.h"
#include <olectl.h>
#include <cstdlib>
#include <cstring>
#include <string>
#include "com/last_error.h"
#include "com/ole_types.h"
#include "runtime/args.h"
#include "runtime/heap.h"
#include "runtime/registry.h"

namespace com {

using runtime::ResultRecord;

namespace {

uint32_t word(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

bool finish(int code) {
  set_last_error(code);
  return code == kOk;
}

int screen_dpi() {
  HDC dc = GetDC(nullptr);
  int dpi = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 96;
  if (dc) ReleaseDC(nullptr, dc);
  return dpi > 0 ? dpi : 96;
}

LOGFONTA default_font() {
  LOGFONTA lf{};
  GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf);
  return lf;
}

// The picture subsystem's bitmap of picture data (runtime request 1003), when one answers.
HBITMAP bitmap_from_subsystem(std::string_view data) {
  runtime::Answer answer = runtime::find_answer(1003);
  if (!answer) return nullptr;
  return reinterpret_cast<HBITMAP>(static_cast<uintptr_t>(
      answer(word(data.data()), static_cast<uint32_t>(data.size()))));
}

// Decodes picture data with the platform's picture loader (BMP, icons, GIF, JPEG).
IPicture* load_picture(std::string_view data) {
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, data.size());
  if (!memory) return nullptr;
  if (void* p = GlobalLock(memory)) {
    std::memcpy(p, data.data(), data.size());
    GlobalUnlock(memory);
  }
  Ref<IStream> stream;
  IPicture* picture = nullptr;
  if (FAILED(CreateStreamOnHGlobal(memory, TRUE, stream.out()))) {
    GlobalFree(memory);
    return nullptr;
  }
  if (FAILED(OleLoadPicture(stream.get(), static_cast<LONG>(data.size()), FALSE, IID_IPicture,
                            reinterpret_cast<void**>(&picture))))
    return nullptr;
  return picture;
}

}  // namespace

bool picture_from_data(ObjectValue* o, std::string_view data) {
  if (!o) return finish(kBadArgumentType);
  if (data.empty()) return finish(kBadVarType);
  IPicture* picture = nullptr;
  if (HBITMAP bitmap = bitmap_from_subsystem(data)) {
    PICTDESC desc{sizeof desc, PICTYPE_BITMAP};
    desc.bmp.hbitmap = bitmap;
    if (FAILED(OleCreatePictureIndirect(&desc, IID_IPicture, TRUE, reinterpret_cast<void**>(&picture)))) {
      DeleteObject(bitmap);
      picture = nullptr;
    }
  } else {
    picture = load_picture(data);
  }
  if (!picture) return finish(kOtherFailure);
  store(o, picture);
  picture->Release();
  return finish(kOk);
}

void picture_data(ObjectValue* o, ResultRecord* r) {
  *r = {};
  if (is_empty(o)) return (void)finish(o ? kEmptyObject : kBadArgumentType);
  Ref<IPicture> picture;
  if (FAILED(o->unknown->QueryInterface(IID_IPicture, picture.out_void())))
    return (void)finish(kTypeMismatch);
  Ref<IStream> stream;
  LONG size = 0;
  HGLOBAL memory = nullptr;
  if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, stream.out())) ||
      FAILED(picture->SaveAsFile(stream.get(), TRUE, &size)) ||
      FAILED(GetHGlobalFromStream(stream.get(), &memory)))
    return (void)finish(kOtherFailure);
  const void* bytes = GlobalLock(memory);
  SIZE_T held = GlobalSize(memory);
  if (size < 0 || static_cast<SIZE_T>(size) > held) size = static_cast<LONG>(held);
  if (bytes) runtime::set_bin(r, std::string_view(static_cast<const char*>(bytes), size));
  GlobalUnlock(memory);
  finish(bytes ? kOk : kOtherFailure);
}

bool font_from_record(ObjectValue* o, const FontRecord* record) {
  if (!o) return finish(kBadArgumentType);
  LOGFONTA lf = default_font();
  std::wstring face = to_wide(std::string(lf.lfFaceName, strnlen(lf.lfFaceName, LF_FACESIZE)));
  FONTDESC desc{sizeof desc};
  desc.sWeight = static_cast<SHORT>(lf.lfWeight);
  desc.sCharset = lf.lfCharSet;
  int points = MulDiv(std::abs(lf.lfHeight), 72, screen_dpi());
  if (record) {
    if (record->bold) desc.sWeight = FW_BOLD;
    desc.fItalic = record->italic != 0;
    desc.fUnderline = record->underline != 0;
    desc.fStrikethrough = record->strike_out != 0;
    points = record->points < 0 ? 0 : record->points;
    if (record->face && record->face[0]) {
      face = to_wide(record->face);
      desc.sCharset = DEFAULT_CHARSET;  // the named face, not the default face's character set
    }
  }
  desc.lpstrName = face.data();
  desc.cySize.int64 = static_cast<LONGLONG>(points) * 10000;
  IFont* font = nullptr;
  if (FAILED(OleCreateFontIndirect(&desc, IID_IFont, reinterpret_cast<void**>(&font))) || !font)
    return finish(kOtherFailure);
  store(o, font);
  font->Release();
  return finish(kOk);
}

void font_record(ObjectValue* o, ResultRecord* r) {
  *r = {};
  LOGFONTA lf = default_font();
  std::string face(lf.lfFaceName, strnlen(lf.lfFaceName, LF_FACESIZE));
  FontRecord rec{0, lf.lfWeight >= FW_BOLD, lf.lfItalic != 0, lf.lfStrikeOut != 0,
                 lf.lfUnderline != 0, MulDiv(std::abs(lf.lfHeight), 72, screen_dpi()), nullptr};
  Ref<IFont> font;
  int code = kOk;
  if (is_empty(o))
    code = o ? kEmptyObject : kBadArgumentType;
  else if (FAILED(o->unknown->QueryInterface(IID_IFont, font.out_void())))
    code = kNotFont;
  if (font) {
    BSTR name = nullptr;
    SHORT weight = 0;
    BOOL italic = FALSE, underline = FALSE, strike = FALSE;
    CY size{};
    font->get_Name(&name);
    font->get_Weight(&weight);
    font->get_Italic(&italic);
    font->get_Underline(&underline);
    font->get_Strikethrough(&strike);
    font->get_Size(&size);
    face = from_bstr(name);
    SysFreeString(name);
    rec.bold = weight >= FW_BOLD;
    rec.italic = italic != FALSE;
    rec.underline = underline != FALSE;
    rec.strike_out = strike != FALSE;
    rec.points = static_cast<int32_t>((size.int64 + 5000) / 10000);
  }
  auto* block = static_cast<FontRecord*>(runtime::allocate(sizeof(FontRecord)));
  *block = rec;
  block->face = runtime::new_text(face);
  r->lo = word(block);
  finish(code);
}

}  // namespace com
