// OLE initialisation of the main thread, balanced by one release at shutdown.
#include "com/ole.h"
#include <windows.h>
#include <ole2.h>
#include "runtime/registry.h"

namespace com {

namespace {

bool g_initialised = false;

void release() {
  if (!g_initialised) return;
  OleUninitialize();
  g_initialised = false;
}

}  // namespace

void install() {
  if (g_initialised || FAILED(OleInitialize(nullptr))) return;
  g_initialised = true;
  runtime::register_cleanup(runtime::CleanupStage::kLast, &release);
}

}  // namespace com
