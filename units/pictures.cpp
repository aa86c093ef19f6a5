// Pictures for units: icon file directory parsing with bounds checks; bitmaps come from the
// picture decoder (picture_codec.cpp).
#include "units/pictures.h"
#include <cstdint>
#include <cstring>
#include "framework/gdi.h"

namespace units {

namespace {

#pragma pack(push, 1)
struct IconDirHeader {
  uint16_t reserved;  // 0
  uint16_t type;      // 1 = icon
  uint16_t count;
};
struct IconDirEntry {
  uint8_t width, height;  // 0 means 256
  uint8_t colours, reserved;
  uint16_t planes, bits;
  uint32_t size;          // bytes of the image
  uint32_t offset;        // from the start of the file
};
#pragma pack(pop)
static_assert(sizeof(IconDirHeader) == 6);
static_assert(sizeof(IconDirEntry) == 16);

int side(uint8_t v) { return v ? v : 256; }

bool entry_at(const std::string& data, int i, IconDirEntry& e) {
  size_t at = sizeof(IconDirHeader) + size_t(i) * sizeof(IconDirEntry);
  if (at + sizeof e > data.size()) return false;
  std::memcpy(&e, data.data() + at, sizeof e);
  return e.size > 0 && e.offset <= data.size() && e.size <= data.size() - e.offset;
}

HICON icon_from_image(const uint8_t* bits, uint32_t size, int cx, int cy) {
  if (size < 8) return nullptr;  // neither a bitmap header nor a PNG signature fits
  return CreateIconFromResourceEx(const_cast<PBYTE>(bits), size, TRUE, 0x00030000, cx, cy,
                                  LR_DEFAULTCOLOR);
}

void default_size(int& cx, int& cy) {
  if (cx <= 0) cx = GetSystemMetrics(SM_CXICON);
  if (cy <= 0) cy = GetSystemMetrics(SM_CYICON);
}

}  // namespace

bool is_icon_file(const std::string& data) {
  if (data.size() < sizeof(IconDirHeader)) return false;
  IconDirHeader h;
  std::memcpy(&h, data.data(), sizeof h);
  return h.reserved == 0 && h.type == 1 && h.count > 0 &&
         data.size() >= sizeof h + size_t(h.count) * sizeof(IconDirEntry);
}

HICON read_icon_file(const std::string& data, int cx, int cy) {
  if (!is_icon_file(data)) return nullptr;
  default_size(cx, cy);
  IconDirHeader h;
  std::memcpy(&h, data.data(), sizeof h);
  int best = -1;
  long best_score = 0;
  for (int i = 0; i < h.count; ++i) {
    IconDirEntry e;
    if (!entry_at(data, i, e)) continue;
    int w = side(e.width), ht = side(e.height);
    // Exact size first (deeper colours better), then the nearest larger, then the largest.
    long score;
    if (w == cx && ht == cy) score = 3000000L + e.bits;
    else if (w >= cx && ht >= cy) score = 2000000L - (w - cx) * 1000L + e.bits;
    else score = 1000000L + w * 1000L + e.bits;
    if (best < 0 || score > best_score) {
      best = i;
      best_score = score;
    }
  }
  IconDirEntry chosen;
  if (best >= 0 && entry_at(data, best, chosen)) {
    HICON icon = icon_from_image(reinterpret_cast<const uint8_t*>(data.data()) + chosen.offset,
                                 chosen.size, cx, cy);
    if (icon) return icon;
  }
  // The chosen image failed: take the first entry that the platform accepts.
  for (int i = 0; i < h.count; ++i) {
    IconDirEntry e;
    if (!entry_at(data, i, e)) continue;
    HICON icon = icon_from_image(reinterpret_cast<const uint8_t*>(data.data()) + e.offset,
                                 e.size, cx, cy);
    if (icon) return icon;
  }
  return nullptr;
}

HICON read_icon_image(const std::string& data, int cx, int cy) {
  default_size(cx, cy);
  if (data.size() >= sizeof(BITMAPINFOHEADER)) {
    BITMAPINFOHEADER bih;
    std::memcpy(&bih, data.data(), sizeof bih);
    if (bih.biSize == sizeof bih || data.compare(0, 4, "\x89PNG") == 0) {
      HICON icon = icon_from_image(reinterpret_cast<const uint8_t*>(data.data()),
                                   static_cast<uint32_t>(data.size()), cx, cy);
      if (icon) return icon;
    }
  }
  framework::Bitmap bmp(read_bitmap(data));
  if (!bmp) return nullptr;
  BITMAP info{};
  GetObject(bmp.get(), sizeof info, &info);
  framework::Bitmap mask(CreateBitmap(info.bmWidth, info.bmHeight, 1, 1, nullptr));
  {
    framework::MemoryDC dc(nullptr);
    framework::SelectScope selected(dc.get(), mask.get());
    PatBlt(dc.get(), 0, 0, info.bmWidth, info.bmHeight, BLACKNESS);  // fully opaque
  }
  ICONINFO ii{TRUE, 0, 0, mask.get(), bmp.get()};
  return CreateIconIndirect(&ii);  // the icon holds copies of both bitmaps
}

HICON read_icon(const std::string& data, int cx, int cy) {
  if (data.empty()) return nullptr;
  HICON icon = read_icon_file(data, cx, cy);
  return icon ? icon : read_icon_image(data, cx, cy);
}

}  // namespace units
