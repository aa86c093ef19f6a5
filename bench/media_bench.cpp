// Pictures and windows of units: decoding a 1920 x 1080 JPEG through the picture decoder, and
// loading a window of 200 units of mixed types until it is shown, next to a plain window with
// 200 system controls created by a loop in the same run. Medians of several runs, in ms.
#include <windows.h>
#include <wincodec.h>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>
#include "runtime/runtime.h"
#include "units/framework.h"
#include "units/picture_codec.h"
#include "units/window_unit.h"

namespace {

double now_ms() {
  LARGE_INTEGER f, c;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c);
  return 1000.0 * static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// A 1920 x 1080 picture with gradients and edges, encoded as JPEG by the platform's encoder.
std::string make_jpeg(int w, int h) {
  IWICImagingFactory* f = nullptr;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IWICImagingFactory, reinterpret_cast<void**>(&f))))
    return {};
  std::vector<BYTE> px(size_t(w) * h * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      BYTE* p = &px[(size_t(y) * w + x) * 3];
      p[0] = BYTE(x * 255 / w);
      p[1] = BYTE(y * 255 / h);
      p[2] = BYTE(((x / 64 + y / 64) & 1) ? 220 : 30);
    }
  IStream* stream = nullptr;
  CreateStreamOnHGlobal(nullptr, TRUE, &stream);
  IWICBitmapEncoder* enc = nullptr;
  IWICBitmapFrameEncode* frame = nullptr;
  std::string out;
  if (SUCCEEDED(f->CreateEncoder(GUID_ContainerFormatJpeg, nullptr, &enc)) &&
      SUCCEEDED(enc->Initialize(stream, WICBitmapEncoderNoCache)) &&
      SUCCEEDED(enc->CreateNewFrame(&frame, nullptr)) && SUCCEEDED(frame->Initialize(nullptr))) {
    WICPixelFormatGUID fmt = GUID_WICPixelFormat24bppBGR;
    frame->SetSize(w, h);
    frame->SetPixelFormat(&fmt);
    frame->WritePixels(h, w * 3, static_cast<UINT>(px.size()), px.data());
    frame->Commit();
    enc->Commit();
    HGLOBAL g = nullptr;
    GetHGlobalFromStream(stream, &g);
    STATSTG st{};
    stream->Stat(&st, STATFLAG_NONAME);
    out.assign(static_cast<const char*>(GlobalLock(g)), static_cast<size_t>(st.cbSize.QuadPart));
    GlobalUnlock(g);
  }
  if (frame) frame->Release();
  if (enc) enc->Release();
  stream->Release();
  f->Release();
  return out;
}

void pump() {
  MSG m;
  while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&m);
    DispatchMessageA(&m);
  }
}

// 200 units cycling through twelve types, in a 20 x 10 grid of cells.
units::WindowTemplate mixed_window() {
  static const uint32_t types[] = {0x1000A, 0x1000B, 0x10005, 0x1000C, 0x10006, 0x10007,
                                   0x1000D, 0x1000F, 0x1000E, 0x10013, 0x10008, 0x1002D};
  units::WindowTemplate w;
  w.id = 0x52019001;
  units::Entry own;
  own.id = 0x06019000;
  own.type = 0x10001;
  own.left = own.top = 10;
  own.width = 1000;
  own.height = 700;
  own.flags = 1;
  w.entries.push_back(own);
  for (int i = 0; i < 200; ++i) {
    units::Entry e;
    e.id = 0x16019002 + i;
    e.type = types[i % std::size(types)];
    e.name = "u" + std::to_string(i);
    e.left = (i % 10) * 98 + 4;
    e.top = (i / 10) * 32 + 4;
    e.width = 94;
    e.height = 28;
    e.flags = 1 | 4;
    w.entries.push_back(e);
  }
  return w;
}

double load_units_window() {
  units::WindowTemplate w = mixed_window();
  runtime::rt().templates.push_back(&w);
  double t0 = now_ms();
  bool ok = units::load_window(w, false, nullptr);
  HWND h = ok ? units::live_window(w)->handle() : nullptr;
  if (h) RedrawWindow(h, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  double t = now_ms() - t0;
  if (h) DestroyWindow(h);
  pump();
  runtime::rt().templates.clear();
  return ok ? t : -1;
}

LRESULT CALLBACK plain_proc(HWND h, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA(h, m, wp, lp); }

double load_plain_window() {
  static bool registered = false;
  if (!registered) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = plain_proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = "PlainBench";
    registered = RegisterClassA(&wc) != 0;
  }
  struct Control { const char* cls; DWORD style; };
  static const Control controls[] = {
      {"STATIC", SS_LEFT}, {"BUTTON", BS_PUSHBUTTON}, {"EDIT", WS_BORDER | ES_AUTOHSCROLL},
      {"BUTTON", BS_AUTOCHECKBOX}, {"STATIC", SS_BITMAP}, {"STATIC", SS_BLACKFRAME},
      {"BUTTON", BS_AUTORADIOBUTTON}, {"LISTBOX", WS_BORDER | LBS_NOTIFY},
      {"COMBOBOX", CBS_DROPDOWN}, {"msctls_progress32", 0}, {"STATIC", SS_WHITERECT},
      {"BUTTON", BS_BITMAP}};
  double t0 = now_ms();
  HWND top = CreateWindowExA(0, "PlainBench", "plain", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 10,
                             10, 1000, 700, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  for (int i = 0; i < 200; ++i) {
    const Control& c = controls[i % std::size(controls)];
    HWND h = CreateWindowExA(0, c.cls, "u", WS_CHILD | WS_VISIBLE | WS_TABSTOP | c.style,
                             (i % 10) * 98 + 4, (i / 10) * 32 + 4, 94, 28, top,
                             reinterpret_cast<HMENU>(static_cast<UINT_PTR>(100 + i)),
                             GetModuleHandleA(nullptr), nullptr);
    SendMessageA(h, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  }
  ShowWindow(top, SW_SHOW);
  RedrawWindow(top, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  double t = now_ms() - t0;
  DestroyWindow(top);
  pump();
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  units::install();

  std::string jpeg = make_jpeg(1920, 1080);
  if (jpeg.empty()) {
    std::printf("no JPEG encoder: decoding not measured\n");
  } else {
    std::vector<double> decode, flat;
    for (int i = 0; i < runs; ++i) {
      units::Picture p;
      double t0 = now_ms();
      bool ok = p.decode(jpeg);
      decode.push_back(now_ms() - t0);
      if (!ok || p.width() != 1920) std::printf("decode failed\n");
      t0 = now_ms();
      DeleteObject(units::read_bitmap(jpeg));
      flat.push_back(now_ms() - t0);
    }
    std::printf("JPEG 1920x1080 (%zu bytes): decode %.1f ms, decode to an opaque bitmap %.1f ms (median of %d)\n",
                jpeg.size(), median(decode), median(flat), runs);
  }

  std::vector<double> mixed, plain;
  load_plain_window();  // classes registered, code paged in
  load_units_window();
  for (int i = 0; i < runs; ++i) {
    mixed.push_back(load_units_window());
    plain.push_back(load_plain_window());
  }
  std::printf("window of 200 mixed units, loaded and shown: %.1f ms\n", median(mixed));
  std::printf("window of 200 system controls by a C loop, shown: %.1f ms\n", median(plain));
  std::printf("ratio: %.2f (median of %d)\n", median(mixed) / median(plain), runs);
  return 0;
}
