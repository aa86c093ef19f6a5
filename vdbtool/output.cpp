// Text conversions and output of the database tool.
#include "vdbtool/output.h"
#include <windows.h>
#include <oleauto.h>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <vector>
#include "database/errors.h"

namespace vdbtool {

namespace {

constexpr UINT kGbk = 936;

std::wstring wide(const std::string& s, UINT cp) {
  if (s.empty()) return std::wstring();
  int n = MultiByteToWideChar(cp, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(cp, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}

std::string narrow(const std::wstring& w, UINT cp) {
  if (w.empty()) return std::string();
  int n = WideCharToMultiByte(cp, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(cp, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
  return s;
}

void write_to(DWORD which, const std::string& utf8) {
  HANDLE h = GetStdHandle(which);
  if (h == nullptr || h == INVALID_HANDLE_VALUE || utf8.empty()) return;
  DWORD mode = 0, done = 0;
  if (GetConsoleMode(h, &mode)) {
    std::wstring w = wide(utf8, CP_UTF8);
    WriteConsoleW(h, w.data(), static_cast<DWORD>(w.size()), &done, nullptr);
    return;
  }
  for (size_t at = 0; at < utf8.size();) {
    DWORD n = static_cast<DWORD>(std::min<size_t>(utf8.size() - at, 1 << 20));
    if (!WriteFile(h, utf8.data() + at, n, &done, nullptr) || done == 0) return;
    at += done;
  }
}

}  // namespace

std::string utf8_from_gbk(const std::string& gbk) { return narrow(wide(gbk, kGbk), CP_UTF8); }

bool gbk_from_utf8(const std::string& utf8, std::string* gbk) {
  if (utf8.empty()) {
    gbk->clear();
    return true;
  }
  int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  if (n <= 0) return false;
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), w.data(), n);
  BOOL lost = FALSE;
  int m = WideCharToMultiByte(kGbk, 0, w.data(), n, nullptr, 0, nullptr, &lost);
  if (lost) return false;  // a character GBK does not have
  gbk->assign(static_cast<size_t>(m), '\0');
  WideCharToMultiByte(kGbk, 0, w.data(), n, gbk->data(), m, nullptr, nullptr);
  return true;
}

void out(const std::string& utf8) { write_to(STD_OUTPUT_HANDLE, utf8); }
void err(const std::string& utf8) { write_to(STD_ERROR_HANDLE, utf8); }

std::string format(const char* fmt, ...) {
  // The platform's formatter reports a cut result as -1 rather than the length it needs.
  for (size_t size = 512;; size *= 2) {
    std::vector<char> buf(size);
    va_list a;
    va_start(a, fmt);
    int n = std::vsnprintf(buf.data(), size, fmt, a);
    va_end(a);
    if (n >= 0 && static_cast<size_t>(n) < size) return std::string(buf.data(), static_cast<size_t>(n));
    if (size > (1u << 24)) return std::string();
  }
}

std::string code_text(int32_t code) {
  return format("%d (", static_cast<int>(code)) + utf8_from_gbk(database::error_text(code)) + ")";
}

std::string hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string s;
  s.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) s += kDigits[c >> 4], s += kDigits[c & 15];
  return s;
}

bool unhex(const std::string& text, std::string* bytes) {
  std::string t = text;
  if (t.size() >= 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) t = t.substr(2);
  if (t.size() % 2) return false;
  bytes->clear();
  auto digit = [](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  for (size_t i = 0; i < t.size(); i += 2) {
    int hi = digit(t[i]), lo = digit(t[i + 1]);
    if (hi < 0 || lo < 0) return false;
    bytes->push_back(static_cast<char>(hi * 16 + lo));
  }
  return true;
}

std::string date_text(double value) {
  SYSTEMTIME st{};
  if (!VariantTimeToSystemTime(value, &st)) return format("%.17g", value);
  if (st.wHour == 0 && st.wMinute == 0 && st.wSecond == 0)
    return format("%04u-%02u-%02u", st.wYear, st.wMonth, st.wDay);
  return format("%04u-%02u-%02u %02u:%02u:%02u", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond);
}

bool parse_date(const std::string& text, double* value) {
  unsigned y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  char tail = 0;
  int n = std::sscanf(text.c_str(), "%4u-%2u-%2u %2u:%2u:%2u%c", &y, &mo, &d, &h, &mi, &s, &tail);
  if (n == 3 || n == 5 || n == 6) {
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(y), st.wMonth = static_cast<WORD>(mo), st.wDay = static_cast<WORD>(d);
    st.wHour = static_cast<WORD>(h), st.wMinute = static_cast<WORD>(mi), st.wSecond = static_cast<WORD>(s);
    if (y < 100 || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59) return false;
    return SystemTimeToVariantTime(&st, value) != 0;
  }
  char* end = nullptr;
  double v = std::strtod(text.c_str(), &end);
  if (text.empty() || *end) return false;
  *value = v;
  return true;
}

std::string csv_cell(const std::string& s) {
  if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
  std::string q = "\"";
  for (char c : s) {
    if (c == '"') q += '"';
    q += c;
  }
  return q + "\"";
}

std::string json_string(const std::string& s) {
  std::string j = "\"";
  for (unsigned char c : s) {
    switch (c) {
      case '"': j += "\\\""; break;
      case '\\': j += "\\\\"; break;
      case '\n': j += "\\n"; break;
      case '\r': j += "\\r"; break;
      case '\t': j += "\\t"; break;
      default:
        if (c < 0x20) j += format("\\u%04x", c);
        else j += static_cast<char>(c);
    }
  }
  return j + "\"";
}

}  // namespace vdbtool
