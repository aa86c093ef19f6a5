// The last object error of the calling thread: one code from the table of 18, 0 after success,
// and the detail a server gave with an exception.
#pragma once
#include <string>
#include <string_view>

namespace com {

enum ErrorCode : int {
  kOk = 0,
  kEmptyObject = -1,        // "对象为空"
  kNoDispatch = -2,         // no dispatch interface
  kNoSuchName = -3,         // no property or method binds to the name
  kNoTypeInfo = -4,
  kTooManyArguments = -5,
  kNotFont = -6,
  kBadArgumentType = -7,
  kResultMismatch = -8,     // ran, but the result does not convert
  kBadParameterCount = -9,
  kBadVarType = -10,
  kException = -11,
  kMemberNotFound = -12,
  kNoNamedArguments = -13,
  kOverflow = -14,          // also an array index outside the array's bounds
  kParameterNotFound = -15,
  kTypeMismatch = -16,
  kNotOptional = -17,
  kOtherFailure = -18,
};

int last_error();
// Sets the code; the detail (a server's exception description) is kept for the text.
void set_last_error(int code, std::string_view detail = {});
// The code's fixed text, followed by the detail for an exception; empty for unknown codes.
std::string last_error_text();
const char* error_text(int code);  // the fixed text, or null

// Maps a failed automation call to its code.
int code_of(long hresult);

}  // namespace com
