// GBK <-> UTF-16 through the platform's code page 936 tables.
#include "gbk.h"
#include <windows.h>

namespace sqlbridge {

namespace {
constexpr UINT kGbk = 936;
}

std::wstring to_wide(std::string_view gbk) {
  if (gbk.empty()) return {};
  int n = MultiByteToWideChar(kGbk, 0, gbk.data(), static_cast<int>(gbk.size()), nullptr, 0);
  std::wstring out(n > 0 ? n : 0, L'\0');
  if (n > 0)
    MultiByteToWideChar(kGbk, 0, gbk.data(), static_cast<int>(gbk.size()), out.data(), n);
  return out;
}

std::string to_gbk(std::wstring_view wide) {
  if (wide.empty()) return {};
  int n = WideCharToMultiByte(kGbk, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string out(n > 0 ? n : 0, '\0');
  if (n > 0)
    WideCharToMultiByte(kGbk, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n,
                        nullptr, nullptr);
  return out;
}

}  // namespace sqlbridge
