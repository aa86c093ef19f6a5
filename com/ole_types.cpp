// GBK texts to and from wide strings through the process's ANSI code page.
#include "com/ole_types.h"

namespace com {

std::wstring to_wide(std::string_view gbk) {
  if (gbk.empty()) return {};
  int n = MultiByteToWideChar(CP_ACP, 0, gbk.data(), static_cast<int>(gbk.size()), nullptr, 0);
  std::wstring w(n > 0 ? n : 0, L'\0');
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, gbk.data(), static_cast<int>(gbk.size()), w.data(), n);
  return w;
}

std::string from_wide(const wchar_t* text, size_t length) {
  if (!text || length == 0) return {};
  int n = WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  std::string s(n > 0 ? n : 0, '\0');
  if (n > 0)
    WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), s.data(), n, nullptr, nullptr);
  return s;
}

Bstr::Bstr(std::string_view gbk) {
  std::wstring w = to_wide(gbk);
  s_ = SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
}

}  // namespace com
