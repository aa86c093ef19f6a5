// OLE initialisation of the main thread, balanced by one release at shutdown.
#include "com/ole.h"
#include <windows.h>
#include <ole2.h>
#include "com/object_value.h"
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
  static bool answers_installed = false;
  if (!answers_installed) install_object_values();
  answers_installed = true;
  if (g_initialised || FAILED(OleInitialize(nullptr))) return;
  g_initialised = true;
  runtime::register_cleanup(runtime::CleanupStage::kLast, &release);
}

}  // namespace com
