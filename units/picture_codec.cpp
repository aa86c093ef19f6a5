// Picture decoding through the platform's imaging component, the stored BMP form of bitmaps,
// and the runtime notification codes of pictures.
#include "units/picture_codec.h"
#include <wincodec.h>
#include <cstdint>
#include <cstring>
#include <vector>
#include "runtime/args.h"
#include "runtime/registry.h"
#include "units/pictures.h"

namespace units {

namespace {

// The imaging component's factory of the calling thread, made on first use and kept until
// the thread ends: COM is joined once per thread (a thread that has it already keeps its own
// apartment), so a decode neither loads nor unloads the component.
class ThreadImaging {
 public:
  ThreadImaging() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IWICImagingFactory, reinterpret_cast<void**>(&factory_))))
      factory_ = nullptr;
  }
  ~ThreadImaging() {
    if (factory_) factory_->Release();
    if (SUCCEEDED(hr_)) CoUninitialize();
  }
  ThreadImaging(const ThreadImaging&) = delete;
  ThreadImaging& operator=(const ThreadImaging&) = delete;
  IWICImagingFactory* factory() const { return factory_; }

 private:
  HRESULT hr_;
  IWICImagingFactory* factory_ = nullptr;
};

IWICImagingFactory* imaging_factory() {
  thread_local ThreadImaging imaging;
  return imaging.factory();
}

// Owns one interface reference.
template <class T>
class ComRef {
 public:
  ComRef() = default;
  ~ComRef() {
    if (p_) p_->Release();
  }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  T* operator->() const { return p_; }
  T* get() const { return p_; }
  T** out() { return &p_; }
  void** out_void() { return reinterpret_cast<void**>(&p_); }

 private:
  T* p_ = nullptr;
};

// A cursor file has the icon file's layout with type 2 and hot spots in place of planes and
// bit counts; the decoder reads only icon files, so a copy says type 1.
bool is_cursor_file(std::string_view data) {
  return data.size() >= 6 && data[0] == 0 && data[1] == 0 && data[2] == 2 && data[3] == 0;
}

HBITMAP top_down_dib(int width, int height, void** bits) {
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = width;
  bi.bmiHeader.biHeight = -height;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  return CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, bits, nullptr, 0);
}

// The frame's pixels as 32-bit premultiplied BGRA rows into `out` (w x h). The common
// formats of photographs and opaque pictures are widened here in one pass; the platform's
// general converter takes the others.
bool copy_pixels(IWICImagingFactory* factory, IWICBitmapFrameDecode* frame, UINT w, UINT h,
                 uint8_t* out) {
  WICPixelFormatGUID format{};
  frame->GetPixelFormat(&format);
  const size_t pixels = size_t(w) * h;
  if (format == GUID_WICPixelFormat24bppBGR) {
    const UINT stride = (w * 3 + 3) & ~3u;
    std::vector<uint8_t> rows(size_t(stride) * h);
    if (FAILED(frame->CopyPixels(nullptr, stride, static_cast<UINT>(rows.size()), rows.data())))
      return false;
    for (UINT y = 0; y < h; ++y) {
      const uint8_t* src = rows.data() + size_t(y) * stride;
      uint8_t* dst = out + size_t(y) * w * 4;
      for (UINT x = 0; x < w; ++x, src += 3, dst += 4) {
        dst[0] = src[0];
        dst[1] = src[1];
        dst[2] = src[2];
        dst[3] = 255;
      }
    }
    return true;
  }
  if (format == GUID_WICPixelFormat32bppBGR || format == GUID_WICPixelFormat32bppBGRA) {
    if (FAILED(frame->CopyPixels(nullptr, w * 4, static_cast<UINT>(pixels * 4), out))) return false;
    for (size_t i = 0; i < pixels * 4; i += 4) {
      if (format == GUID_WICPixelFormat32bppBGR) {
        out[i + 3] = 255;
      } else if (uint8_t a = out[i + 3]; a != 255) {
        out[i] = static_cast<uint8_t>(out[i] * a / 255);
        out[i + 1] = static_cast<uint8_t>(out[i + 1] * a / 255);
        out[i + 2] = static_cast<uint8_t>(out[i + 2] * a / 255);
      }
    }
    return true;
  }
  ComRef<IWICFormatConverter> converter;
  return SUCCEEDED(factory->CreateFormatConverter(converter.out())) &&
         SUCCEEDED(converter->Initialize(frame, GUID_WICPixelFormat32bppPBGRA,
                                         WICBitmapDitherTypeNone, nullptr, 0,
                                         WICBitmapPaletteTypeCustom)) &&
         SUCCEEDED(converter->CopyPixels(nullptr, w * 4, static_cast<UINT>(pixels * 4), out));
}

#pragma pack(push, 1)
// Stored BMP data: file header, information header, then the rows bottom-up, each padded to
// four bytes, three bytes (blue, green, red) per pixel.
//   OFFSET SIZE DESCRIPTION
//        0    2 "BM"
//        2    4 file size
//        6    4 reserved (0)
//       10    4 offset of the pixel rows (54)
//       14   40 BITMAPINFOHEADER (24 bits, BI_RGB)
struct StoredBmpHeader {
  BITMAPFILEHEADER file;
  BITMAPINFOHEADER info;
};
#pragma pack(pop)
static_assert(sizeof(StoredBmpHeader) == 54);
static_assert(offsetof(StoredBmpHeader, info) == 14);

int64_t picture_to_bitmap(uint32_t data, uint32_t length) {
  if (!data || !length) return 0;
  std::string bytes(reinterpret_cast<const char*>(static_cast<uintptr_t>(data)), length);
  return reinterpret_cast<intptr_t>(read_bitmap(bytes));
}

int64_t bitmap_to_data(uint32_t bitmap, uint32_t) {
  std::string bmp = store_bitmap(reinterpret_cast<HBITMAP>(static_cast<uintptr_t>(bitmap)));
  return bmp.empty() ? 0 : reinterpret_cast<intptr_t>(runtime::new_bin(bmp));
}

constexpr runtime::CodeAnswer kAnswers[] = {
    {1003, picture_to_bitmap},
    {2034, bitmap_to_data},
};

}  // namespace

namespace {

// The frame to show of a picture: an icon or cursor file holds its image in several sizes,
// and the largest one is the picture; other pictures show their first frame.
UINT largest_icon_frame(IWICBitmapDecoder* decoder) {
  GUID container{};
  UINT count = 0;
  if (FAILED(decoder->GetContainerFormat(&container)) || container != GUID_ContainerFormatIco ||
      FAILED(decoder->GetFrameCount(&count)))
    return 0;
  UINT best = 0;
  unsigned long long best_area = 0;
  for (UINT i = 0; i < count && i < 256; ++i) {
    ComRef<IWICBitmapFrameDecode> f;
    UINT w = 0, h = 0;
    if (FAILED(decoder->GetFrame(i, f.out())) || FAILED(f->GetSize(&w, &h))) continue;
    if (static_cast<unsigned long long>(w) * h > best_area) {
      best = i;
      best_area = static_cast<unsigned long long>(w) * h;
    }
  }
  return best;
}

}  // namespace

bool Picture::decode(std::string_view data) {
  reset();
  if (data.size() < 8 || data.size() > 0x7FFFFFFF) return false;
  std::string patched;
  if (is_cursor_file(data)) {
    patched.assign(data);
    patched[2] = 1;
    data = patched;
  }
  IWICImagingFactory* factory = imaging_factory();
  if (!factory) return false;
  ComRef<IWICStream> stream;
  ComRef<IWICBitmapDecoder> decoder;
  ComRef<IWICBitmapFrameDecode> frame;
  if (FAILED(factory->CreateStream(stream.out())) ||
      FAILED(stream->InitializeFromMemory(
          reinterpret_cast<BYTE*>(const_cast<char*>(data.data())), static_cast<DWORD>(data.size()))) ||
      FAILED(factory->CreateDecoderFromStream(stream.get(), nullptr,
                                              WICDecodeMetadataCacheOnDemand, decoder.out())) ||
      FAILED(decoder->GetFrame(largest_icon_frame(decoder.get()), frame.out())))
    return false;
  UINT w = 0, h = 0;
  if (FAILED(frame->GetSize(&w, &h)) || w == 0 || h == 0 || w > kMaxPictureSide ||
      h > kMaxPictureSide || static_cast<long long>(w) * h > kMaxPicturePixels)
    return false;
  void* bits = nullptr;
  framework::Bitmap dib(top_down_dib(static_cast<int>(w), static_cast<int>(h), &bits));
  if (!dib || !bits) return false;
  // Truncated data fails here (or decodes what is there, the rest left blank).
  if (!copy_pixels(factory, frame.get(), w, h, static_cast<uint8_t*>(bits))) return false;
  GdiFlush();
  const auto* px = static_cast<const uint8_t*>(bits);
  bool alpha = false;
  for (size_t i = 3, n = size_t(w) * h * 4; i < n && !alpha; i += 4) alpha = px[i] != 255;
  bitmap_ = std::move(dib);
  width_ = static_cast<int>(w);
  height_ = static_cast<int>(h);
  alpha_ = alpha;
  return true;
}

namespace {

// A number from a frame's metadata ("/grctlext/Delay"), or `fallback`.
int metadata_number(IWICBitmapFrameDecode* frame, const wchar_t* name, int fallback) {
  ComRef<IWICMetadataQueryReader> reader;
  if (FAILED(frame->GetMetadataQueryReader(reader.out()))) return fallback;
  PROPVARIANT v;
  PropVariantInit(&v);
  int out = fallback;
  if (SUCCEEDED(reader->GetMetadataByName(name, &v))) {
    if (v.vt == VT_UI2) out = v.uiVal;
    else if (v.vt == VT_UI1) out = v.bVal;
  }
  PropVariantClear(&v);
  return out;
}

int decoder_number(IWICBitmapDecoder* decoder, const wchar_t* name, int fallback) {
  ComRef<IWICMetadataQueryReader> reader;
  if (FAILED(decoder->GetMetadataQueryReader(reader.out()))) return fallback;
  PROPVARIANT v;
  PropVariantInit(&v);
  int out = fallback;
  if (SUCCEEDED(reader->GetMetadataByName(name, &v)) && v.vt == VT_UI2) out = v.uiVal;
  PropVariantClear(&v);
  return out;
}

}  // namespace

bool Animation::decode(std::string_view data) {
  reset();
  if (data.size() < 8 || data.size() > 0x7FFFFFFF) return false;
  IWICImagingFactory* factory = imaging_factory();
  if (!factory) return false;
  ComRef<IWICStream> stream;
  ComRef<IWICBitmapDecoder> decoder;
  UINT count = 0;
  if (FAILED(factory->CreateStream(stream.out())) ||
      FAILED(stream->InitializeFromMemory(
          reinterpret_cast<BYTE*>(const_cast<char*>(data.data())), static_cast<DWORD>(data.size()))) ||
      FAILED(factory->CreateDecoderFromStream(stream.get(), nullptr,
                                              WICDecodeMetadataCacheOnDemand, decoder.out())) ||
      FAILED(decoder->GetFrameCount(&count)) || count < 2)
    return false;
  GUID container{};
  if (FAILED(decoder->GetContainerFormat(&container)) || container != GUID_ContainerFormatGif)
    return false;
  const int w = decoder_number(decoder.get(), L"/logscrdesc/Width", 0);
  const int h = decoder_number(decoder.get(), L"/logscrdesc/Height", 0);
  if (w <= 0 || h <= 0 || w > kMaxPictureSide || h > kMaxPictureSide) return false;
  const size_t frame_bytes = size_t(w) * h * 4;
  if (count > kMaxAnimationFrames || frame_bytes * count > kMaxAnimationBytes) return false;
  // The canvas the frames are laid on, and the one a "restore previous" frame goes back to.
  std::vector<uint8_t> canvas(frame_bytes, 0), previous;
  for (UINT i = 0; i < count; ++i) {
    ComRef<IWICBitmapFrameDecode> frame;
    UINT fw = 0, fh = 0;
    if (FAILED(decoder->GetFrame(i, frame.out())) || FAILED(frame->GetSize(&fw, &fh))) break;
    const int left = metadata_number(frame.get(), L"/imgdesc/Left", 0);
    const int top = metadata_number(frame.get(), L"/imgdesc/Top", 0);
    const int disposal = metadata_number(frame.get(), L"/grctlext/Disposal", 0);
    const int delay = metadata_number(frame.get(), L"/grctlext/Delay", 10) * 10;
    if (fw == 0 || fh == 0 || fw > UINT(kMaxPictureSide) || fh > UINT(kMaxPictureSide)) break;
    std::vector<uint8_t> pixels(size_t(fw) * fh * 4);
    if (!copy_pixels(factory, frame.get(), fw, fh, pixels.data())) break;
    if (disposal == 3) previous = canvas;
    // The frame over the canvas: GIF pixels are opaque or fully transparent.
    for (UINT y = 0; y < fh; ++y) {
      int cy = top + int(y);
      if (cy < 0 || cy >= h) continue;
      for (UINT x = 0; x < fw; ++x) {
        int cx = left + int(x);
        if (cx < 0 || cx >= w) continue;
        const uint8_t* src = &pixels[(size_t(y) * fw + x) * 4];
        if (src[3] == 0) continue;
        std::memcpy(&canvas[(size_t(cy) * w + cx) * 4], src, 4);
      }
    }
    void* bits = nullptr;
    HBITMAP dib = top_down_dib(w, h, &bits);
    if (!dib || !bits) {
      if (dib) DeleteObject(dib);
      break;
    }
    std::memcpy(bits, canvas.data(), frame_bytes);
    bool alpha = false;
    for (size_t p = 3; p < frame_bytes && !alpha; p += 4) alpha = canvas[p] != 255;
    frames_.emplace_back(dib, w, h, alpha);
    delays_.push_back(delay < 20 ? 100 : delay);  // 0 and 10 ms mean "as fast as shown": 100
    // What the next frame starts from.
    if (disposal == 2) {
      for (UINT y = 0; y < fh; ++y)
        for (UINT x = 0; x < fw; ++x) {
          int cx = left + int(x), cy = top + int(y);
          if (cx >= 0 && cx < w && cy >= 0 && cy < h) std::memset(&canvas[(size_t(cy) * w + cx) * 4], 0, 4);
        }
    } else if (disposal == 3 && !previous.empty()) {
      canvas = previous;
    }
  }
  if (frames_.size() < 2) reset();
  return !frames_.empty();
}

void Picture::draw(HDC dc, int x, int y, int w, int h) const {
  if (!bitmap_ || w <= 0 || h <= 0) return;
  framework::MemoryDC mem(dc);
  framework::SelectScope selected(mem.get(), bitmap_.get());
  if (alpha_) {
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    AlphaBlend(dc, x, y, w, h, mem.get(), 0, 0, width_, height_, blend);
  } else if (w == width_ && h == height_) {
    BitBlt(dc, x, y, w, h, mem.get(), 0, 0, SRCCOPY);
  } else {
    int old = SetStretchBltMode(dc, COLORONCOLOR);
    StretchBlt(dc, x, y, w, h, mem.get(), 0, 0, width_, height_, SRCCOPY);
    SetStretchBltMode(dc, old);
  }
}

void Picture::place(HDC dc, const RECT& a, int mode) const {
  if (!bitmap_) return;
  const int w = a.right - a.left, h = a.bottom - a.top;
  switch (mode) {
    case 1: draw(dc, a.left, a.top, w, h); break;
    case 2:
      for (int y = a.top; y < a.bottom; y += height_)
        for (int x = a.left; x < a.right; x += width_) draw(dc, x, y);
      break;
    case 3: draw(dc, a.left + (w - width_) / 2, a.top + (h - height_) / 2); break;
    case 4: {
      // The larger scale that keeps both sides inside the area.
      int sw = w, sh = MulDiv(height_, w, width_);
      if (sh > h) sh = h, sw = MulDiv(width_, h, height_);
      draw(dc, a.left + (w - sw) / 2, a.top + (h - sh) / 2, sw, sh);
      break;
    }
    default: draw(dc, a.left, a.top); break;
  }
}

HBITMAP Picture::flat(COLORREF back) const {
  if (!bitmap_) return nullptr;
  void* bits = nullptr;
  HBITMAP out = top_down_dib(width_, height_, &bits);
  if (!out || !bits) return out;
  DIBSECTION ds{};
  GetObject(bitmap_.get(), sizeof ds, &ds);
  const auto* src = static_cast<const uint8_t*>(ds.dsBm.bmBits);
  auto* dst = static_cast<uint8_t*>(bits);
  const uint8_t bb = GetBValue(back), bg = GetGValue(back), br = GetRValue(back);
  for (size_t i = 0, n = size_t(width_) * height_ * 4; i < n; i += 4) {
    unsigned keep = 255 - src[i + 3];  // premultiplied: colour + background * (1 - alpha)
    dst[i] = static_cast<uint8_t>(src[i] + bb * keep / 255);
    dst[i + 1] = static_cast<uint8_t>(src[i + 1] + bg * keep / 255);
    dst[i + 2] = static_cast<uint8_t>(src[i + 2] + br * keep / 255);
    dst[i + 3] = 255;
  }
  return out;
}

std::string store_bitmap(HBITMAP bitmap) {
  BITMAP bm{};
  if (!bitmap || GetObject(bitmap, sizeof bm, &bm) != sizeof bm || bm.bmWidth <= 0 ||
      bm.bmHeight <= 0 || bm.bmWidth > kMaxPictureSide || bm.bmHeight > kMaxPictureSide)
    return {};
  const uint32_t stride = (static_cast<uint32_t>(bm.bmWidth) * 3 + 3) & ~3u;
  const uint32_t pixels = stride * static_cast<uint32_t>(bm.bmHeight);
  StoredBmpHeader h{};
  h.file.bfType = 0x4D42;
  h.file.bfSize = sizeof h + pixels;
  h.file.bfOffBits = sizeof h;
  h.info.biSize = sizeof h.info;
  h.info.biWidth = bm.bmWidth;
  h.info.biHeight = bm.bmHeight;  // bottom-up
  h.info.biPlanes = 1;
  h.info.biBitCount = 24;
  h.info.biCompression = BI_RGB;
  h.info.biSizeImage = pixels;
  std::string out(sizeof h + pixels, '\0');
  std::memcpy(out.data(), &h, sizeof h);
  BITMAPINFO bi{};
  bi.bmiHeader = h.info;
  framework::ClientDC screen(nullptr);
  if (GetDIBits(screen.get(), bitmap, 0, static_cast<UINT>(bm.bmHeight), out.data() + sizeof h,
                &bi, DIB_RGB_COLORS) != bm.bmHeight)
    return {};
  return out;
}

HBITMAP read_bitmap(const std::string& data) {
  Picture p;
  return p.decode(data) ? p.flat(GetSysColor(COLOR_BTNFACE)) : nullptr;
}

void install_picture_codes() { runtime::register_answers(kAnswers); }

}  // namespace units
