// A stand-in for the add-on module "objscope.vsx": its `ShowObjInf` notes the interface it
// was handed (and that the interface answers) instead of showing a window.
#include <windows.h>
#include <ole2.h>

namespace {
IUnknown* g_last;
LONG g_calls;
}

extern "C" {

void __stdcall ShowObjInf(IUnknown* object) {
  ++g_calls;
  g_last = nullptr;
  IUnknown* base = nullptr;
  if (object && SUCCEEDED(object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&base)))) {
    g_last = base;
    base->Release();
  }
}

IUnknown* __cdecl objscope_last() { return g_last; }
LONG __cdecl objscope_calls() { return g_calls; }

}  // extern "C"
