// Thin owners of ODBC handles, and the small helpers every part of the provider shares:
// success tests, statement texts in UTF-16, identifier quoting and OLE date values.
#pragma once
#include <windows.h>
#include <sql.h>
#include <sqlext.h>
#include <string>
#include <utility>

namespace sqlbridge {

// One ODBC handle of a given kind, freed with it.
class Handle {
 public:
  Handle() = default;
  Handle(SQLSMALLINT kind, SQLHANDLE h) : kind_(kind), h_(h) {}
  ~Handle() { reset(); }
  Handle(Handle&& o) noexcept : kind_(o.kind_), h_(std::exchange(o.h_, nullptr)) {}
  Handle& operator=(Handle&& o) noexcept {
    if (this != &o) {
      reset();
      kind_ = o.kind_;
      h_ = std::exchange(o.h_, nullptr);
    }
    return *this;
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;

  // A new handle of `kind` under `parent` (null for an environment); empty on failure.
  static Handle allocate(SQLSMALLINT kind, SQLHANDLE parent) {
    SQLHANDLE h = nullptr;
    if (!SQL_SUCCEEDED(SQLAllocHandle(kind, parent ? parent : SQL_NULL_HANDLE, &h))) return {};
    return Handle(kind, h);
  }
  SQLHANDLE get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }
  void reset() {
    if (h_) SQLFreeHandle(kind_, h_);
    h_ = nullptr;
  }

 private:
  SQLSMALLINT kind_ = 0;
  SQLHANDLE h_ = nullptr;
};

inline bool ok(SQLRETURN r) { return SQL_SUCCEEDED(r); }
inline SQLWCHAR* wide_arg(const std::wstring& s) {
  return reinterpret_cast<SQLWCHAR*>(const_cast<wchar_t*>(s.c_str()));
}

// A new statement on `dbc` whose cursor can move both ways when the driver offers it.
Handle new_statement(SQLHDBC dbc, bool scrollable);

// `name` quoted as an identifier with the driver's quote character.
std::wstring quote_identifier(SQLHDBC dbc, const std::wstring& name);

// Date-time value (days from 1899-12-30; the time runs forward from midnight on negative
// days too) from its parts.
double ole_date(int year, int month, int day, int hour, int minute, int second);

}  // namespace sqlbridge
