// Screenshots: the display captured through GDI and written as a PNG (zlib for the pixels).
#include "kit.h"
#include <zlib.h>
#include <cstdio>

namespace kit {

namespace {

void put_be32(std::string& out, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<char>(v >> s));
}

void put_chunk(std::string& out, const char* type, const std::string& data) {
  put_be32(out, static_cast<uint32_t>(data.size()));
  std::string body(type, 4);
  body += data;
  out += body;
  put_be32(out, crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size())));
}

}  // namespace

Shot screenshot() {
  Shot s;
  HDC screen = GetDC(nullptr);
  s.width = GetDeviceCaps(screen, HORZRES);
  s.height = GetDeviceCaps(screen, VERTRES);
  HDC mem = CreateCompatibleDC(screen);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = s.width;
  bi.bmiHeader.biHeight = -s.height;  // top row first
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(mem, bmp);
  BitBlt(mem, 0, 0, s.width, s.height, screen, 0, 0, SRCCOPY);
  GdiFlush();
  auto* px = static_cast<const uint32_t*>(bits);
  s.pixels.assign(px, px + size_t(s.width) * s.height);
  for (auto& p : s.pixels) p &= 0xFFFFFF;
  SelectObject(mem, old);
  DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  return s;
}

bool Shot::save_png(const std::string& path) const {
  if (width <= 0 || height <= 0) return false;
  std::string raw;
  raw.reserve(size_t(height) * (1 + 3 * size_t(width)));
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);  // filter: none
    for (int x = 0; x < width; ++x) {
      uint32_t p = at(x, y);
      raw.push_back(static_cast<char>(p >> 16));
      raw.push_back(static_cast<char>(p >> 8));
      raw.push_back(static_cast<char>(p));
    }
  }
  uLongf packed_len = compressBound(static_cast<uLong>(raw.size()));
  std::string packed(packed_len, '\0');
  if (compress(reinterpret_cast<Bytef*>(packed.data()), &packed_len,
               reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size())) != Z_OK)
    return false;
  packed.resize(packed_len);
  std::string png("\x89PNG\r\n\x1a\n", 8), ihdr;
  put_be32(ihdr, width);
  put_be32(ihdr, height);
  ihdr += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, deflate, no filter, no interlace
  put_chunk(png, "IHDR", ihdr);
  put_chunk(png, "IDAT", packed);
  put_chunk(png, "IEND", "");
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(png.data(), 1, png.size(), f) == png.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace kit
