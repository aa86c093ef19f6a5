// Hosts the platform's web browser control in a window, for platforms with an HTML engine.
#pragma once
#include <windows.h>
#include <memory>
#include <string>

namespace htmlview {

class BrowserHost {
 public:
  // Null when the control cannot be created or activated.
  static std::unique_ptr<BrowserHost> create(HWND parent);
  virtual ~BrowserHost() = default;
  virtual void navigate(const std::wstring& url) = 0;  // bypasses the cache
  virtual void resize(int width, int height) = 0;
  virtual std::wstring title() = 0;
};

}  // namespace htmlview
