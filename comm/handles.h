// Owners of kernel handles (files, ports, events, threads): closed when the owner goes.
#pragma once
#include <windows.h>
#include "framework/gdi.h"

namespace comm {

struct KernelHandleDeleter {
  void operator()(HANDLE h) const { CloseHandle(h); }
};
// Null means none; a failed CreateFile's INVALID_HANDLE_VALUE is never stored.
using KernelHandle = framework::Owned<HANDLE, KernelHandleDeleter>;

}  // namespace comm
