// Test calls of core commands through the slot-3 service entry, record builders, result readers.
#include "call.h"
#include <windows.h>
#include <cstring>
#include <deque>
#include "corelib/cmd_support.h"
#include "corelib/routine_table.h"
#include "runtime/args.h"
#include "runtime/heap.h"
#include "runtime/runtime.h"

// call_core(selector, argc, records, out): copies the records onto the stack as compiled code
// leaves them (first record at the lowest address), pushes the count, loads EBX with the
// selector and calls the slot-3 entry; stores EAX, EDX, ECX into out. Keeps EBX, ESI, EDI.
extern "C" void call_core(uint32_t selector, int argc, const runtime::ArgRecord* records,
                          runtime::ArgRecord* out) asm("test_call_core");
asm(R"(
    .text
test_call_core:
    pushl %ebp
    movl  %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl  12(%ebp), %ecx
    imull $12, %ecx
    subl  %ecx, %esp
    movl  %esp, %edi
    movl  16(%ebp), %esi
    cld
    rep movsb
    pushl 12(%ebp)
    movl  8(%ebp), %ebx
    call  orvel_svc_call_core
    movl  20(%ebp), %edi
    movl  %eax, (%edi)
    movl  %edx, 4(%edi)
    movl  %ecx, 8(%edi)
    leal  -12(%ebp), %esp
    popl  %edi
    popl  %esi
    popl  %ebx
    popl  %ebp
    ret
)");

namespace calls {

using namespace runtime;

namespace {

std::deque<std::string> keep;  // storage of text and byte-set arguments

uint32_t addr(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }
template <typename T>
T* ptr(uint32_t a) { return reinterpret_cast<T*>(static_cast<uintptr_t>(a)); }

ArgRecord bits64(uint64_t u, uint32_t type) {
  return {static_cast<uint32_t>(u), static_cast<uint32_t>(u >> 32), type};
}

}  // namespace

ArgRecord Omit() { return {}; }
ArgRecord Byte(uint8_t v) { return {v, 0, kTypeByte}; }
ArgRecord Short(int16_t v) { return {static_cast<uint16_t>(v), 0, kTypeShort}; }
ArgRecord Int(int32_t v) { return {static_cast<uint32_t>(v), 0, kTypeInt}; }
ArgRecord Long(int64_t v) { return bits64(static_cast<uint64_t>(v), kTypeLong); }
ArgRecord Bool(bool v) { return {v ? 1u : 0u, 0, kTypeBool}; }
ArgRecord SubPtr(uint32_t a) { return {a, 0, kTypeSubPtr}; }

ArgRecord Float(float v) {
  ArgRecord r{0, 0, kTypeFloat};
  memcpy(&r.lo, &v, 4);
  return r;
}

ArgRecord Double(double v) {
  uint64_t u;
  memcpy(&u, &v, 8);
  return bits64(u, kTypeDouble);
}

ArgRecord Date(double v) {
  ArgRecord r = Double(v);
  r.type = kTypeDateTime;
  return r;
}

ArgRecord Text(const std::string& gbk) {
  keep.push_back(gbk);
  return {addr(keep.back().c_str()), 0, kTypeText};
}

ArgRecord Bin(const std::string& bytes) {
  std::string block(8, '\0');
  uint32_t head[2] = {1, static_cast<uint32_t>(bytes.size())};
  memcpy(block.data(), head, 8);
  keep.push_back(block + bytes);
  return {addr(keep.back().data()), 0, kTypeBin};
}

ArgRecord Array(uint32_t element_type, uint32_t count, const std::string& element_bytes) {
  std::string block(8, '\0');
  uint32_t head[2] = {1, count};
  memcpy(block.data(), head, 8);
  keep.push_back(block + element_bytes);
  return {addr(keep.back().data()), 0, element_type | kArrayBit};
}

ArgRecord IntVariable(int32_t* variable) {
  return {addr(variable), 0, corelib::variable_type(kTypeInt)};
}

// Registers the core library as library 0 when no image preparation did it.
void ensure_core_library() {
  auto& libraries = runtime::rt().libraries;
  if (libraries.empty()) libraries.emplace_back();
  if (!libraries[0].commands)
    libraries[0].commands = const_cast<CommandRoutine*>(corelib::routine_table());
}

// The records are passed where they stand (no copy into a vector): a call from a test or a
// benchmark costs what a call from compiled code costs.
static ArgRecord call_records(int slot, const ArgRecord* args, size_t count) {
  ensure_core_library();
  ArgRecord out{0xDEADBEEF, 0xDEADBEEF, 0xDEADBEEF};
  call_core(static_cast<uint32_t>(slot) * 4, static_cast<int>(count), args, &out);
  return out;
}

ArgRecord call(int slot, const std::vector<ArgRecord>& args) {
  return call_records(slot, args.data(), args.size());
}

ArgRecord call(int slot, std::initializer_list<ArgRecord> args) {
  return call_records(slot, args.begin(), args.size());
}

ArgRecord call_direct(int slot, const std::vector<ArgRecord>& args) {
  ArgRecord out{};
  corelib::routine_table()[slot](&out, static_cast<int>(args.size()), const_cast<ArgRecord*>(args.data()));
  return out;
}

std::optional<std::string> take_text(const ArgRecord& r) {
  if (r.lo == 0) return std::nullopt;
  std::string s = ptr<const char>(r.lo);
  free_block(ptr<void>(r.lo));
  return s;
}

std::optional<std::string> take_bin(const ArgRecord& r) {
  if (r.lo == 0) return std::nullopt;
  auto* h = ptr<const BinHeader>(r.lo);
  std::string s(reinterpret_cast<const char*>(h + 1), h->length);
  if (h->dims != 1) s = "<bad dimension count>";
  free_block(ptr<void>(r.lo));
  return s;
}

std::vector<std::optional<std::string>> take_array(const ArgRecord& r, bool texts) {
  std::vector<std::optional<std::string>> out;
  if (r.lo == 0) {
    out.push_back("<null array>");
    return out;
  }
  auto* block = ptr<const uint32_t>(r.lo);
  if (block[0] != 1) out.push_back("<bad dimension count>");
  for (uint32_t i = 0; i < block[1]; ++i) {
    ArgRecord element{block[2 + i], 0, 0};
    out.push_back(texts ? take_text(element) : take_bin(element));
  }
  free_block(ptr<void>(r.lo));
  return out;
}

void free_result(const ArgRecord& r, bool array) {
  if (r.lo == 0) return;
  if (array) {
    auto* block = ptr<const uint32_t>(r.lo);
    for (uint32_t i = 0; i < block[1]; ++i) free_block(ptr<void>(block[2 + i]));
  }
  free_block(ptr<void>(r.lo));
}

double as_double(const ArgRecord& r) { return runtime::bits_double(r); }
float as_float(const ArgRecord& r) { return runtime::bits_float(r); }

int64_t as_long(const ArgRecord& r) { return static_cast<int64_t>(static_cast<uint64_t>(r.hi) << 32 | r.lo); }

uint64_t heap_busy_bytes() {
  HANDLE heap = runtime::rt().heap ? runtime::rt().heap : GetProcessHeap();
  uint64_t busy = 0;
  PROCESS_HEAP_ENTRY e{};
  HeapLock(heap);
  while (HeapWalk(heap, &e))
    if (e.wFlags & PROCESS_HEAP_ENTRY_BUSY) busy += e.cbData;
  HeapUnlock(heap);
  return busy;
}

}  // namespace calls
