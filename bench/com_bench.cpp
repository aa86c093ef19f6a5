// Property reads by name through the object commands (slot 589, as compiled code calls them)
// next to the same IDispatch::Invoke called directly with a member identifier looked up once,
// and with the lookup repeated on every call (what a binding without a cache would pay).
// The object is the platform's scripting dictionary holding a few items; its count property.
#include <windows.h>
#include <ole2.h>
#include <cstdio>
#include <vector>
#include "call.h"
#include "com/ole.h"
#include "com/object_value.h"

using namespace calls;
using runtime::ArgRecord;

namespace {

double seconds_now() {
  LARGE_INTEGER f, c;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c);
  return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

template <typename Fn>
double per_second(int n, Fn fn) {
  double t0 = seconds_now();
  for (int i = 0; i < n; ++i) fn();
  return n / (seconds_now() - t0);
}

}  // namespace

int main() {
  com::install();
  com::ObjectValue dict{};
  ArgRecord obj{static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&dict)), 0, com::kObjectType};
  if (call(583, {obj, Text("Scripting.Dictionary")}).lo != 1) {
    std::printf("the scripting dictionary cannot be created here\n");
    return 1;
  }
  for (const char* key : {"a", "b", "c"}) call(595, {obj, Text("Add"), Text(key), Int(1)});

  IDispatch* disp = nullptr;
  dict.unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&disp));
  OLECHAR name[] = L"Count";
  LPOLESTR names[] = {name};
  DISPID id = 0;
  disp->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  DISPPARAMS none{};
  auto direct = [&] {
    VARIANT v;
    VariantInit(&v);
    disp->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &v, nullptr, nullptr);
    VariantClear(&v);
  };
  auto lookup_each_time = [&] {
    DISPID each = 0;
    disp->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &each);
    VARIANT v;
    VariantInit(&v);
    disp->Invoke(each, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &v, nullptr, nullptr);
    VariantClear(&v);
  };
  const std::vector<ArgRecord> args{obj, Text("Count")};  // built once, as compiled code's are
  auto by_command = [&] { call(589, args); };
  auto by_routine = [&] { call_direct(589, args); };

  const int n = 200000;
  by_command();  // the first call binds the name
  double command = per_second(n, by_command);
  double routine = per_second(n, by_routine);
  double invoke = per_second(n, direct);
  double looked_up = per_second(n, lookup_each_time);
  std::printf("%-52s %14s\n", "property read of Count", "calls/s");
  std::printf("%-52s %14.0f\n", "read property as number (589), by name", command);
  std::printf("%-52s %14.0f\n", "the same routine called directly from C", routine);
  std::printf("%-52s %14.0f\n", "IDispatch::Invoke, identifier looked up once", invoke);
  std::printf("%-52s %14.0f\n", "GetIDsOfNames + Invoke on every call", looked_up);
  std::printf("command / direct Invoke: %.2f of the speed (%.2f us more per call)\n", command / invoke,
              1e6 / command - 1e6 / invoke);
  disp->Release();
  call(585, {obj});
  return 0;
}
