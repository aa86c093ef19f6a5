// Figures for the refresh tool, printed side by side under the same Wine:
//  - time from process start to the window shown, Revisto against a bare Win32 window;
//  - the tick period at interval 1 over 20 ticks: mean and worst deviation from 1000 ms.
// usage: revisto_bench [runs]   (Revisto.exe and bare_window.exe in this program's folder)
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include "http_server.h"
#include "kit.h"

namespace {

// Milliseconds from CreateProcess to a visible top-level window of class `cls`.
double time_to_window(const std::string& exe, const char* cls) {
  LARGE_INTEGER f, a, b;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&a);
  kit::Process p(exe);
  if (!p.started()) return -1;
  HWND w = nullptr;
  kit::drive::wait_until([&] {
    w = kit::drive::find_window(p.pid(), "", cls, 0);
    return w && IsWindowVisible(w);
  }, 20000);
  QueryPerformanceCounter(&b);
  return w ? 1000.0 * (b.QuadPart - a.QuadPart) / f.QuadPart : -1;
}

void start_up(int runs) {
  std::string dir = kit::bin_dir();
  std::printf("start-up to window shown, %d runs (ms)\n%-14s %8s %8s %8s\n", runs, "program", "mean",
              "best", "worst");
  for (auto [name, cls] : {std::pair{"bare_window.exe", "BareWindow"}, std::pair{"Revisto.exe", "KelWindow"}}) {
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) t.push_back(time_to_window(dir + name, cls));
    double sum = 0, best = 1e9, worst = 0;
    for (double v : t) sum += v, best = v < best ? v : best, worst = v > worst ? v : worst;
    std::printf("%-14s %8.1f %8.1f %8.1f\n", name, sum / runs, best, worst);
  }
}

void tick_period() {
  kit::HttpServer server;
  kit::Process app(kit::bin_dir() + "Revisto.exe");
  HWND w = kit::drive::find_window(app.pid(), "", "KelWindow", 20000);
  kit::drive::wait_until([&] { return w && IsWindowVisible(w) && GetDlgItem(w, 110); }, 10000);
  if (!w || !GetDlgItem(w, 110)) {
    std::printf("tick period: the window did not appear\n");
    return;
  }
  kit::drive::set_text(GetDlgItem(w, 210), server.url("/tick"));
  kit::drive::set_text(GetDlgItem(w, 170), "1");
  kit::drive::send(GetDlgItem(w, 110), BM_CLICK);
  kit::drive::wait_until([&] { return server.count() >= 21; }, 40000);
  auto r = server.requests();
  if (r.size() < 21) {
    std::printf("tick period: only %u requests\n", static_cast<unsigned>(r.size()));
    return;
  }
  double sum = 0, worst = 0;
  for (int i = 1; i <= 20; ++i) {
    double gap = r[i].tick - r[i - 1].tick;
    sum += gap;
    double dev = gap > 1000 ? gap - 1000 : 1000 - gap;
    worst = dev > worst ? dev : worst;
  }
  std::printf("tick period at interval 1, 20 ticks: mean %.1f ms, worst deviation %.0f ms\n", sum / 20, worst);
}

}  // namespace

int main(int argc, char** argv) {
  int runs = argc > 1 ? std::atoi(argv[1]) : 5;
  start_up(runs > 0 ? runs : 5);
  tick_period();
  return 0;
}
