// AVI header check: RIFF chunks walked with bounds, the main, stream and format headers read
// as packed records.
//
// Layout checked (all sizes 32-bit little-endian, chunks padded to even sizes):
//   "RIFF" size "AVI "                        size <= the file's size - 8
//     "LIST" size "hdrl"
//       "avih" 56: MainHeader                 frames 1..1000000, width and height 1..16384
//       "LIST" size "strl"
//         "strh" >= 48: fccType "vids" ...
//         "strf" >= 40: BITMAPINFOHEADER      width 1..16384, height 1..16384 either sign,
//                                             1, 4, 8, 16, 24 or 32 bits, image <= 64 MiB
#include "units/avi_check.h"
#include <windows.h>
#include <cstdint>
#include <cstring>

namespace units {

namespace {

#pragma pack(push, 1)
struct MainHeader {
  uint32_t micro_seconds_per_frame, max_bytes_per_second, padding, flags;
  uint32_t total_frames, initial_frames, streams, buffer_size;
  uint32_t width, height;
  uint32_t reserved[4];
};
#pragma pack(pop)
static_assert(sizeof(MainHeader) == 56);
static_assert(offsetof(MainHeader, total_frames) == 16);
static_assert(offsetof(MainHeader, width) == 32);

constexpr uint32_t kMaxSide = 16384, kMaxFrames = 1000000, kMaxImage = 64u << 20;

uint32_t u32_at(const std::string& d, size_t at) {
  uint32_t v;
  std::memcpy(&v, d.data() + at, 4);
  return v;
}

// Walks the chunks of [begin, end): each must fit; the LIST chunks named `lists` are entered.
// Records what it finds of the headers.
struct Found {
  bool main = false, format = false;
};

bool walk(const std::string& d, size_t begin, size_t end, Found& found, int depth) {
  size_t at = begin;
  while (at + 8 <= end) {
    std::string id = d.substr(at, 4);
    uint32_t size = u32_at(d, at + 4);
    size_t body = at + 8;
    if (size > end - body) {
      // Inside a list a chunk must fit. At the top only the file's head was read: a chunk
      // running past it (the frames) ends the walk, unless it is the header list.
      if (depth > 0) return false;
      if (id != "LIST" || size < 4 || body + 4 > end || d.compare(body, 4, "hdrl") != 0) return true;
      return walk(d, body + 4, end, found, depth + 1);
    }
    if (id == "LIST") {
      if (size < 4) return false;
      std::string type = d.substr(body, 4);
      if ((type == "hdrl" || type == "strl") && depth < 3 &&
          !walk(d, body + 4, body + size, found, depth + 1))
        return false;
    } else if (id == "avih") {
      if (size < sizeof(MainHeader)) return false;
      MainHeader h;
      std::memcpy(&h, d.data() + body, sizeof h);
      if (h.total_frames < 1 || h.total_frames > kMaxFrames || h.width < 1 || h.width > kMaxSide ||
          h.height < 1 || h.height > kMaxSide)
        return false;
      found.main = true;
    } else if (id == "strf" && depth >= 2 && !found.format) {
      if (size < sizeof(BITMAPINFOHEADER)) return false;
      BITMAPINFOHEADER b;
      std::memcpy(&b, d.data() + body, sizeof b);
      int64_t h = b.biHeight < 0 ? -int64_t(b.biHeight) : b.biHeight;
      bool depth_ok = b.biBitCount == 1 || b.biBitCount == 4 || b.biBitCount == 8 ||
                      b.biBitCount == 16 || b.biBitCount == 24 || b.biBitCount == 32;
      if (b.biWidth < 1 || b.biWidth > int32_t(kMaxSide) || h < 1 || h > kMaxSide || !depth_ok ||
          b.biSizeImage > kMaxImage)
        return false;
      found.format = true;
    }
    at = body + size + (size & 1);
  }
  return true;
}

}  // namespace

bool plausible_avi(const std::string& head, unsigned long long file_size) {
  if (head.size() < 12 || head.compare(0, 4, "RIFF") != 0 || head.compare(8, 4, "AVI ") != 0)
    return false;
  if (file_size < 12 || u32_at(head, 4) > file_size - 8) return false;
  Found found;
  // Only the head was read: chunks are bounded by it (the header list comes first).
  return walk(head, 12, head.size(), found, 0) && found.main && found.format;
}

bool plausible_avi_file(const std::string& file) {
  HANDLE h = CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  struct Closer {
    HANDLE h;
    ~Closer() { CloseHandle(h); }
  } closer{h};
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(h, &size)) return false;
  std::string head(size.QuadPart < 65536 ? size_t(size.QuadPart) : 65536, '\0');
  DWORD got = 0;
  if (!head.empty() && !ReadFile(h, head.data(), DWORD(head.size()), &got, nullptr)) return false;
  head.resize(got);
  return plausible_avi(head, static_cast<unsigned long long>(size.QuadPart));
}

}  // namespace units
