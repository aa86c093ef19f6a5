// The call session of one object value: its dispatch interface, the binding interface of its
// type information, and the members already bound by name, so that repeated calls by name
// pay for the binding once. Lives in the object value's auxiliary word.
#pragma once
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>
#include "com/ole_types.h"

namespace com {

enum class Operation { kRead, kWrite, kCall };

// One declared parameter: its type with the reference level taken off.
struct Param {
  VARTYPE vt;     // VT_EMPTY: not a type arguments are converted to (interfaces, records)
  bool byref;
  USHORT flags;   // PARAMFLAG_*
};

struct Member {
  MEMBERID id = 0;
  WORD invoke_kind = 0;        // DISPATCH_METHOD, _PROPERTYGET, _PROPERTYPUT or _PROPERTYPUTREF
  std::vector<Param> params;
  bool varargs = false;        // the last parameter takes every further argument
};

class Session {
 public:
  Session() = default;
  ~Session() = default;
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // The dispatch interface and type binding of `unknown` (kOk, kNoDispatch or kNoTypeInfo).
  int open(IUnknown* unknown);
  IDispatch* dispatch() const { return dispatch_.get(); }
  // Binds `name` for the operation (kOk or kNoSuchName); later calls come from the cache.
  int bind(const char* name, Operation op, const Member** out);

 private:
  // Names looked up as string views: a cached call allocates nothing.
  struct NameHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  using Members = std::unordered_map<std::string, Member, NameHash, std::equal_to<>>;

  Ref<IDispatch> dispatch_;
  Ref<ITypeComp> comp_;
  Members members_[3];  // by Operation
};

// Session registry: only sessions made here are ever used or deleted through an auxiliary word.
Session* new_session();
Session* live_session(uint32_t aux);
void delete_session(uint32_t aux);

}  // namespace com
