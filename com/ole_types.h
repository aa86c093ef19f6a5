// The folder's small tools over the platform's automation types: a reference holder for
// interfaces, an owned wide string, GBK texts to and from wide strings (the platform's default
// conversions, code page 936), and variants that clear themselves.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <string>
#include <string_view>

namespace com {

// Holds one reference to an interface; releases it once.
template <class T>
class Ref {
 public:
  Ref() = default;
  explicit Ref(T* adopted) : p_(adopted) {}
  ~Ref() { reset(); }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  Ref(Ref&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  T** out() { reset(); return &p_; }
  void** out_void() { return reinterpret_cast<void**>(out()); }
  T* detach() { T* p = p_; p_ = nullptr; return p; }
  void reset() {
    if (p_) p_->Release();
    p_ = nullptr;
  }

 private:
  T* p_ = nullptr;
};

// A variant that is cleared when it goes away.
struct Variant {
  VARIANT v;
  Variant() { VariantInit(&v); }
  ~Variant() { VariantClear(&v); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  VARIANT* operator&() { return &v; }
};

// An owned BSTR.
class Bstr {
 public:
  explicit Bstr(std::string_view gbk);
  ~Bstr() { SysFreeString(s_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR get() const { return s_; }
  BSTR detach() { BSTR s = s_; s_ = nullptr; return s; }

 private:
  BSTR s_;
};

std::wstring to_wide(std::string_view gbk);
std::string from_wide(const wchar_t* text, size_t length);
inline std::string from_bstr(BSTR s) { return s ? from_wide(s, SysStringLen(s)) : std::string(); }

}  // namespace com
