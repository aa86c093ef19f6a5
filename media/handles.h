// Owners of the kernel handles sound playback holds (events, semaphores, threads).
#pragma once
#include <windows.h>
#include "framework/gdi.h"

namespace media {

struct KernelHandleDeleter {
  void operator()(HANDLE h) const { CloseHandle(h); }
};
using KernelHandle = framework::Owned<HANDLE, KernelHandleDeleter>;

}  // namespace media
