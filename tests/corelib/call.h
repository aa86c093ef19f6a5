// Calling core commands from tests the way compiled code does: argument records pushed on the
// stack, the selector in EBX, the call-command service entry of slot 3, the result in
// EAX/EDX/ECX. Also builders for argument records and readers that take (and free) results.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>
#include "abi/values.h"

namespace calls {

using runtime::ArgRecord;

// Argument records. Texts and byte sets are kept alive for the whole test program.
ArgRecord Omit();
ArgRecord Byte(uint8_t v);
ArgRecord Short(int16_t v);
ArgRecord Int(int32_t v);
ArgRecord Long(int64_t v);
ArgRecord Float(float v);
ArgRecord Double(double v);
ArgRecord Bool(bool v);
ArgRecord Date(double v);
ArgRecord SubPtr(uint32_t address);
ArgRecord Text(const std::string& gbk);
ArgRecord Bin(const std::string& bytes);
// A one-dimensional array block of `count` elements of `type` (raw element bytes given).
ArgRecord Array(uint32_t element_type, uint32_t count, const std::string& element_bytes);
// A variable of type Int passed to a parameter that takes a value or a variable.
ArgRecord IntVariable(int32_t* variable);

// Calls slot `slot` of the core library through the slot-3 service entry.
ArgRecord call(int slot, std::initializer_list<ArgRecord> args);
ArgRecord call(int slot, const std::vector<ArgRecord>& args);
// The same routine called directly as a C function (for the benchmark's comparison).
ArgRecord call_direct(int slot, const std::vector<ArgRecord>& args);

// Result readers. take_* free what they read; nullopt stands for a null pointer.
std::optional<std::string> take_text(const ArgRecord& r);
std::optional<std::string> take_bin(const ArgRecord& r);
// Array of texts or byte sets: one entry per element (nullopt = null element); frees it all.
// A null array or a dimension count other than 1 shows up as a marker entry.
std::vector<std::optional<std::string>> take_array(const ArgRecord& r, bool texts);
void free_result(const ArgRecord& r, bool array = false);
double as_double(const ArgRecord& r);
float as_float(const ArgRecord& r);
int64_t as_long(const ArgRecord& r);

// Busy bytes of the runtime heap (walked); for growth checks.
uint64_t heap_busy_bytes();

}  // namespace calls
