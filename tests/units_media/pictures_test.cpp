// Pictures: a small file of each format decodes to its size and colours through the one
// decoder; mutated and truncated files give no picture or a picture, never a crash; the
// runtime notification codes turn data into bitmaps and bitmaps into stored BMP data.
#include <gtest/gtest.h>
#include <windows.h>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include "kit.h"
#include "runtime/heap.h"
#include "runtime/notify.h"
#include "units/framework.h"
#include "units/picture_codec.h"
#include "units/pictures.h"

namespace {

std::string fixture(const std::string& name) {
  std::ifstream in(kit::bin_dir() + "media_pictures\\" + name, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The colour (0x00RRGGBB) of a pixel of a bitmap, read through a 32-bit copy.
uint32_t pixel(HBITMAP bitmap, int x, int y) {
  BITMAP bm{};
  GetObject(bitmap, sizeof bm, &bm);
  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof bi.bmiHeader, bm.bmWidth, -bm.bmHeight, 1, 32, BI_RGB};
  std::string rows(size_t(bm.bmWidth) * bm.bmHeight * 4, '\0');
  HDC dc = GetDC(nullptr);
  GetDIBits(dc, bitmap, 0, bm.bmHeight, rows.data(), &bi, DIB_RGB_COLORS);
  ReleaseDC(nullptr, dc);
  uint32_t v;
  std::memcpy(&v, rows.data() + (size_t(y) * bm.bmWidth + x) * 4, 4);
  return v & 0xFFFFFF;
}

bool close_to(uint32_t a, uint32_t b, int tolerance) {
  for (int shift = 0; shift < 24; shift += 8) {
    int d = int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF);
    if (d > tolerance || d < -tolerance) return false;
  }
  return true;
}

struct Format {
  const char* file;
  int width, height;
  int tolerance;  // JPEG is lossy
};
// Every file holds a red left half and a blue right half.
constexpr Format kFormats[] = {
    {"two.bmp", 20, 10, 0}, {"two.png", 24, 12, 0}, {"two.gif", 28, 14, 0},
    {"two.jpg", 32, 16, 8}, {"two.ico", 16, 16, 0}, {"two.cur", 32, 32, 0},
};
// Mutated too: the animated GIF, through the animation decoder as well.
constexpr Format kMutated[] = {
    {"two.bmp", 20, 10, 0}, {"two.png", 24, 12, 0}, {"two.gif", 28, 14, 0},
    {"two.jpg", 32, 16, 8}, {"two.ico", 16, 16, 0}, {"two.cur", 32, 32, 0},
    {"anim.gif", 12, 8, 0},
};

class Pictures : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { units::install(); }
};

}  // namespace

TEST_F(Pictures, EachFormatDecodesToItsSizeAndColours) {
  for (const Format& f : kFormats) {
    SCOPED_TRACE(f.file);
    std::string data = fixture(f.file);
    ASSERT_FALSE(data.empty());
    units::Picture p;
    ASSERT_TRUE(p.decode(data));
    EXPECT_EQ(p.width(), f.width);
    EXPECT_EQ(p.height(), f.height);
    EXPECT_FALSE(p.has_alpha());
    units::GdiOwner bitmap;
    bitmap.reset(units::read_bitmap(data));
    ASSERT_TRUE(bitmap.object);
    auto* b = static_cast<HBITMAP>(bitmap.object);
    EXPECT_PRED3(close_to, pixel(b, f.width / 4, f.height / 2), 0xFF0000u, f.tolerance);
    EXPECT_PRED3(close_to, pixel(b, f.width * 3 / 4, f.height / 2), 0x0000FFu, f.tolerance);
  }
}

// An icon file of three sizes shows its largest image.
TEST_F(Pictures, IconFilesShowTheirLargestImage) {
  units::Picture p;
  ASSERT_TRUE(p.decode(fixture("multi.ico")));
  EXPECT_EQ(p.width(), 32);
  units::GdiOwner b;
  b.reset(units::read_bitmap(fixture("multi.ico")));
  EXPECT_EQ(pixel(static_cast<HBITMAP>(b.object), 16, 16), 0x0000FFu);
}

TEST_F(Pictures, TransparentPartsLieOverTheBackground) {
  units::Picture p;
  ASSERT_TRUE(p.decode(fixture("alpha.png")));
  EXPECT_TRUE(p.has_alpha());
  units::GdiOwner flat;
  flat.reset(p.flat(RGB(0x12, 0x34, 0x56)));
  EXPECT_EQ(pixel(static_cast<HBITMAP>(flat.object), 1, 4), 0x00FF00u);
  EXPECT_EQ(pixel(static_cast<HBITMAP>(flat.object), 6, 4), 0x123456u);
}

TEST_F(Pictures, NotificationCodesConvertBothWays) {
  std::string data = fixture("two.png");
  auto bitmap = reinterpret_cast<HBITMAP>(static_cast<uintptr_t>(runtime::notify(
      1003, uint32_t(uintptr_t(data.data())), uint32_t(data.size()))));
  ASSERT_TRUE(bitmap);
  auto* stored = reinterpret_cast<uint32_t*>(static_cast<uintptr_t>(
      runtime::notify(2034, uint32_t(uintptr_t(bitmap)), 0)));
  DeleteObject(bitmap);
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored[0], 1u);  // a byte set: 1, the length, the bytes
  std::string bmp(reinterpret_cast<const char*>(stored + 2), stored[1]);
  runtime::free_block(stored);
  EXPECT_EQ(bmp.substr(0, 2), "BM");
  units::Picture back;
  ASSERT_TRUE(back.decode(bmp));
  EXPECT_EQ(back.width(), 24);
  EXPECT_EQ(back.height(), 12);
  units::GdiOwner again;
  again.reset(units::read_bitmap(bmp));
  EXPECT_EQ(pixel(static_cast<HBITMAP>(again.object), 2, 2), 0xFF0000u);
  EXPECT_EQ(runtime::notify(1003, 0, 0), 0);
  EXPECT_EQ(runtime::notify(1003, uint32_t(uintptr_t("garbage!")), 8), 0);
  EXPECT_EQ(runtime::notify(2034, 0, 0), 0);
  EXPECT_EQ(runtime::notify(2034, 0x1234, 0), 0) << "not a bitmap";
}

// An animated GIF: two frames laid on its whole area (the second, smaller one, over the
// first at its offset), with their delays; single pictures are no animation.
TEST_F(Pictures, AnimatedGifFramesAreComposed) {
  units::Animation a;
  ASSERT_TRUE(a.decode(fixture("anim.gif")));
  ASSERT_EQ(a.frames(), 2);
  EXPECT_EQ(a.delay_ms(0), 100);
  EXPECT_EQ(a.delay_ms(1), 200);
  EXPECT_EQ(a.frame(1).width(), 12);
  units::GdiOwner f0, f1;
  f0.reset(a.frame(0).flat(0));
  f1.reset(a.frame(1).flat(0));
  EXPECT_EQ(pixel(static_cast<HBITMAP>(f0.object), 4, 3), 0xFF0000u);
  EXPECT_EQ(pixel(static_cast<HBITMAP>(f1.object), 4, 3), 0x0000FFu) << "inside the second frame";
  EXPECT_EQ(pixel(static_cast<HBITMAP>(f1.object), 1, 1), 0xFF0000u) << "the first frame shows around it";
  EXPECT_FALSE(a.decode(fixture("two.gif")));
  EXPECT_FALSE(a.decode(fixture("two.png")));
  std::string cut = fixture("anim.gif");
  for (size_t n = 8; n < cut.size(); n += 7) a.decode(cut.substr(0, n));  // never a crash
}

// Mutated copies of each file, 100 each (bytes flipped, runs zeroed, cut short, sizes in headers made
// huge) decode or fail, never crash; a header claiming an enormous picture is refused.
TEST_F(Pictures, MutatedFilesNeverCrash) {
  std::mt19937 random(20);
  int decoded = 0, refused = 0;
  for (const Format& f : kMutated) {
    const std::string original = fixture(f.file);
    for (int round = 0; round < 100; ++round) {
      std::string d = original;
      switch (round % 4) {
        case 0:  // flip a few bytes
          for (int i = 0; i < 1 + round % 7; ++i) d[random() % d.size()] ^= char(1 + random() % 255);
          break;
        case 1:  // cut short
          d.resize(random() % d.size());
          break;
        case 2:  // a run of 0xFF in the first 64 bytes (headers: sizes, counts, offsets)
          for (size_t i = random() % 60, n = 1 + random() % 4; n-- && i < d.size(); ++i) d[i] = '\xFF';
          break;
        default:  // zero a run anywhere
          for (size_t i = random() % d.size(), n = 1 + random() % 16; n-- && i < d.size(); ++i) d[i] = 0;
          break;
      }
      units::Picture p;
      bool ok = p.decode(d);
      ok ? ++decoded : ++refused;
      if (ok) {
        EXPECT_GT(p.width(), 0);
        EXPECT_LE(p.width(), units::kMaxPictureSide);
      }
      units::GdiOwner b;
      b.reset(units::read_bitmap(d));
      units::IconOwner icon;
      icon.reset(units::read_icon(d));
      units::Animation animation;
      animation.decode(d);
    }
  }
  EXPECT_GT(refused, 0);
  EXPECT_GT(decoded, 0);
  std::printf("mutated pictures: %d decoded, %d refused\n", decoded, refused);
  // A BMP header that claims 60000 x 60000 pixels.
  std::string big = fixture("two.bmp");
  int32_t side = 60000;
  std::memcpy(big.data() + 18, &side, 4);
  std::memcpy(big.data() + 22, &side, 4);
  units::Picture p;
  EXPECT_FALSE(p.decode(big));
}
