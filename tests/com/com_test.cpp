// Object and variant commands against real automation objects: the probe server built for
// these tests (registered in the test prefix), and the platform's scripting dictionary.
// Every command goes through the slot-3 service entry the way compiled code calls it.
#include <windows.h>
#include <ole2.h>
#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include <thread>
#include <vector>
#include "../corelib/call.h"
#include "kit.h"
#include "com/graphics.h"
#include "com/last_error.h"
#include "com/ole.h"
#include "com/object_value.h"
#include "runtime/args.h"
#include "runtime/heap.h"
#include "runtime/notify.h"
#include "runtime/runtime.h"
#include "abi/descriptor.h"
#include "framework/window.h"
#include "units/framework.h"
#include "units/templates.h"

using namespace calls;
using runtime::ArgRecord;

namespace {

const char kProbe[] = "OrvelTest.Probe";
const char kProbeClsid[] = "{6D1C3A52-1E4B-4C8E-9B7A-2F5D81C0E917}";

uint32_t addr(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }
template <typename T>
T* at(uint32_t a) { return reinterpret_cast<T*>(static_cast<uintptr_t>(a)); }

// Slots.
enum : int {
  kAssign = 582, kCreate, kAttach, kClear, kIsEmpty, kSame,
  kReadText, kReadNumber, kReadLogical, kReadDate, kReadObject, kReadVariant, kWrite,
  kCall, kCallVariant, kCallText, kCallNumber, kCallLogical, kCallDate, kCallObject,
  kPicture, kFont, kPictureData, kFontRecord, kErrorText, kShowInfo,
  kVarCopy, kVarClear, kVarSet, kVarKind, kVarText, kVarNumber, kVarLogical, kVarDate,
  kVarObject, kVarArray, kVarBytes, kVarCreateArray,
  kUnitObject = 621, kVarDims = 623, kVarBound = 625, kVarElement = 627, kVarSetElement = 628,
};

HMODULE probe_module() {
  static HMODULE m = LoadLibraryA("probe_server.dll");
  return m;
}

long live_probes() {
  auto fn = reinterpret_cast<long(__cdecl*)()>(GetProcAddress(probe_module(), "probe_live_objects"));
  return fn ? fn() : -1;
}

// OLE and the subsystem's plug-in, and the probe server registered (again) for the run.
class Environment : public ::testing::Environment {
 public:
  void SetUp() override {
    com::install();
    auto reg = reinterpret_cast<HRESULT(__stdcall*)()>(GetProcAddress(probe_module(), "DllRegisterServer"));
    ASSERT_TRUE(reg) << "probe_server.dll not found";
    ASSERT_EQ(reg(), S_OK);
  }
  // The registration stays in the test prefix: test processes of this suite that run side by
  // side must not take it away from each other.
};
const auto* const g_env = ::testing::AddGlobalTestEnvironment(new Environment);

// A program's object variable.
struct Obj {
  com::ObjectValue v{};
  ArgRecord arg() const { return {addr(&v), 0, com::kObjectType}; }
  ~Obj() { call(kClear, {arg()}); }
};

// A program's variant variable.
struct Var {
  VARIANT v{};
  ArgRecord arg() const { return {addr(&v), 0, com::kVariantType}; }
  ArgRecord variable() const { return {addr(&v), 0, runtime::variable_type(com::kVariantType)}; }
  ~Var() { call(kVarClear, {arg()}); }
};

std::string error_text() { return take_text(call(kErrorText, {})).value_or(""); }

// Takes an object result: releases its reference and frees the block.
void drop_object(const ArgRecord& r) {
  auto* o = at<com::ObjectValue>(r.lo);
  ASSERT_NE(o, nullptr) << "object results are never null";
  com::release(o);
  runtime::free_block(o);
}

void drop_variant(const ArgRecord& r) {
  auto* v = at<VARIANT>(r.lo);
  ASSERT_NE(v, nullptr) << "variant results are never null";
  VariantClear(v);
  runtime::free_block(v);
}

bool create(Obj& o, const char* name) { return call(kCreate, {o.arg(), Text(name)}).lo == 1; }

class ComTest : public ::testing::Test {
 protected:
  void SetUp() override { start_ = live_probes(); }
  void TearDown() override { EXPECT_EQ(live_probes(), start_) << "a probe reference was kept"; }
  long start_ = 0;
};

// ---- object values ----

TEST_F(ComTest, CreateByProgramAndClassIdentifierAssignCompareClear) {
  Obj a, b, c;
  ASSERT_TRUE(create(a, kProbe)) << error_text();
  EXPECT_EQ(error_text(), "");
  ASSERT_TRUE(create(b, kProbeClsid)) << error_text();
  EXPECT_EQ(live_probes(), start_ + 2);

  EXPECT_EQ(call(kIsEmpty, {c.arg()}).lo, 1u);
  EXPECT_EQ(call(kSame, {a.arg(), b.arg()}).lo, 0u);
  EXPECT_EQ(call(kSame, {c.arg(), c.arg()}).lo, 1u);  // both empty
  EXPECT_EQ(call(kSame, {a.arg(), c.arg()}).lo, 0u);
  call(kAssign, {c.arg(), a.arg()});
  EXPECT_EQ(call(kSame, {a.arg(), c.arg()}).lo, 1u);
  call(kAssign, {c.arg(), c.arg()});  // self-assignment keeps the reference
  call(kClear, {a.arg()});
  EXPECT_EQ(call(kIsEmpty, {a.arg()}).lo, 1u);
  EXPECT_EQ(live_probes(), start_ + 2) << "c still holds the first probe";
  call(kAssign, {c.arg(), a.arg()});  // assigning an empty value empties it
  EXPECT_EQ(live_probes(), start_ + 1);
  // A record that is no object value changes nothing.
  call(kAssign, {b.arg(), Int(0)});
  EXPECT_EQ(error_text(), "参数数据类型错误");
  EXPECT_EQ(call(kIsEmpty, {b.arg()}).lo, 0u);
  EXPECT_EQ(call(kSame, {b.arg(), Text("x")}).lo, 0u);
  EXPECT_EQ(error_text(), "参数数据类型错误");

  // A failed create leaves the old object in place.
  EXPECT_EQ(call(kCreate, {b.arg(), Text("OrvelTest.NoSuchClass")}).lo, 0u);
  EXPECT_EQ(error_text(), "其他原因调用失败");
  EXPECT_EQ(call(kCreate, {b.arg(), Text("{00000000-0000-0000-0000-00000000ABCD}")}).lo, 0u);
  EXPECT_EQ(call(kCreate, {b.arg(), Text("")}).lo, 0u);
  EXPECT_EQ(call(kIsEmpty, {b.arg()}).lo, 0u);

  // The runtime's release request empties an object value.
  runtime::notify(2035, addr(&b.v), 0);
  EXPECT_EQ(call(kIsEmpty, {b.arg()}).lo, 1u);
  EXPECT_EQ(live_probes(), start_);
}

TEST_F(ComTest, PropertiesOfEveryTypeAndTheBindingCache) {
  Obj o;
  ASSERT_TRUE(create(o, kProbe));
  const std::string hello = "你好，世界";
  EXPECT_EQ(call(kWrite, {o.arg(), Text("Name"), Text(hello)}).lo, 1u) << error_text();
  EXPECT_EQ(take_text(call(kReadText, {o.arg(), Text("name")})), hello);  // names fold case
  EXPECT_EQ(call(kWrite, {o.arg(), Text("Number"), Double(2.5)}).lo, 1u);
  EXPECT_EQ(as_double(call(kReadNumber, {o.arg(), Text("Number")})), 2.5);
  EXPECT_EQ(take_text(call(kReadText, {o.arg(), Text("Number")})), "2.5");
  EXPECT_EQ(call(kWrite, {o.arg(), Text("Flag"), Bool(true)}).lo, 1u);
  EXPECT_EQ(call(kReadLogical, {o.arg(), Text("Flag")}).lo, 1u);
  EXPECT_EQ(call(kWrite, {o.arg(), Text("When"), Date(45000.75)}).lo, 1u);
  EXPECT_EQ(as_double(call(kReadDate, {o.arg(), Text("When")})), 45000.75);
  // Indexed property: the value is the last argument.
  EXPECT_EQ(call(kWrite, {o.arg(), Text("Item"), Text("键"), Int(7)}).lo, 1u) << error_text();
  EXPECT_EQ(as_double(call(kReadNumber, {o.arg(), Text("Item"), Text("键")})), 7.0);
  ArgRecord v = call(kReadVariant, {o.arg(), Text("Item"), Text("键")});
  EXPECT_EQ(V_VT(at<VARIANT>(v.lo)), VT_I4);
  drop_variant(v);
  // A read of a missing key fails inside the server: the empty value and the code.
  EXPECT_EQ(take_text(call(kReadText, {o.arg(), Text("Item"), Text("none")})), std::nullopt);
  EXPECT_EQ(error_text(), "其他原因调用失败");

  // The binding cache lives with the value: a new object in the same variable binds anew.
  for (int i = 0; i < 3; ++i) {
    call(kClear, {o.arg()});
    ASSERT_TRUE(create(o, i == 1 ? "Scripting.Dictionary" : kProbe));
    ArgRecord r = call(kReadNumber, {o.arg(), Text(i == 1 ? "Count" : "Number")});
    EXPECT_EQ(com::last_error(), 0) << error_text();
    EXPECT_EQ(as_double(r), 0.0);
  }
}

// Each failure with its code's text; the result is the empty value of its type.
TEST_F(ComTest, FailuresGiveTheirTexts) {
  Obj o, empty;
  ASSERT_TRUE(create(o, kProbe));
  struct Case {
    const char* what;
    int slot;
    std::vector<ArgRecord> args;
    const char* text;
  };
  const Case cases[] = {
      {"empty object", kReadText, {empty.arg(), Text("Name")}, "对象为空"},
      {"unknown member", kReadText, {o.arg(), Text("Nothing")}, "未找到指定属性或方法"},
      {"unknown method", kCall, {o.arg(), Text("Nothing"), Int(1)}, "未找到指定属性或方法"},
      {"one argument too many", kCallNumber, {o.arg(), Text("NoArgs"), Int(1)}, "提供了过多的参数"},
      {"too many for a property", kReadText, {o.arg(), Text("Name"), Int(1)}, "提供了过多的参数"},
      {"argument of no automation type", kCall, {o.arg(), Text("Echo"), SubPtr(0x1234)}, "参数数据类型错误"},
      {"byte set to a call", kCall, {o.arg(), Text("Echo"), Bin("ab")}, "参数数据类型错误"},
      {"result not a number", kCallNumber, {o.arg(), Text("TypeOf"), Text("x")}, "执行成功，但返回值类型不匹配"},
      {"server's type check", kCall, {o.arg(), Text("Scale"), Text("abc"), Int(2)}, "类型不匹配"},
      {"missing argument", kCall, {o.arg(), Text("Scale"), Int(3)}, "参数数目错误"},
      {"exception", kCall, {o.arg(), Text("Fail"), Text("坏了")}, "发现异常：坏了"},
      {"not an object record", kReadText, {Int(5), Text("Name")}, "参数数据类型错误"},
  };
  for (const Case& c : cases) {
    ArgRecord r = call(c.slot, c.args);
    EXPECT_EQ(error_text(), c.text) << c.what;
    EXPECT_EQ(r.lo, 0u) << c.what;
    EXPECT_EQ(r.hi, 0u) << c.what;
  }
  // Every failure a server can answer maps to its code.
  const struct {
    HRESULT hr;
    const char* text;
  } results[] = {
      {DISP_E_MEMBERNOTFOUND, "未找到指定成员"},   {DISP_E_PARAMNOTFOUND, "未找到指定参数"},
      {DISP_E_TYPEMISMATCH, "类型不匹配"},          {DISP_E_NONAMEDARGS, "不支持命名参数"},
      {DISP_E_BADVARTYPE, "参数类型值无效"},        {DISP_E_EXCEPTION, "发现异常"},
      {DISP_E_OVERFLOW, "溢出"},                    {DISP_E_BADPARAMCOUNT, "参数数目错误"},
      {DISP_E_PARAMNOTOPTIONAL, "必需的参数数据被省略"}, {E_OUTOFMEMORY, "其他原因调用失败"},
      {DISP_E_UNKNOWNNAME, "其他原因调用失败"},     {E_FAIL, "其他原因调用失败"},
  };
  for (const auto& c : results) {
    call(kCall, {o.arg(), Text("Raise"), Int(static_cast<int32_t>(c.hr))});
    EXPECT_EQ(error_text(), c.text) << std::hex << c.hr;
  }
  call(kCall, {o.arg(), Text("Raise"), Int(0)});
  EXPECT_EQ(com::last_error(), 0);
  // A required argument left out; an exception described only when asked.
  call(kCallNumber, {o.arg(), Text("Scale"), Omit(), Int(2)});
  EXPECT_EQ(error_text(), "必需的参数数据被省略");
  call(kCall, {o.arg(), Text("FailLater")});
  EXPECT_EQ(error_text(), "发现异常：later");
  // Object and variant reads that fail still give a block, an empty one.
  ArgRecord r = call(kReadObject, {empty.arg(), Text("Child")});
  EXPECT_EQ(at<com::ObjectValue>(r.lo)->unknown, nullptr);
  drop_object(r);
  r = call(kCallObject, {o.arg(), Text("NoArgs")});
  EXPECT_EQ(error_text(), "执行成功，但返回值类型不匹配");
  EXPECT_EQ(at<com::ObjectValue>(r.lo)->unknown, nullptr);
  drop_object(r);
  r = call(kCallVariant, {o.arg(), Text("Nothing")});
  EXPECT_EQ(V_VT(at<VARIANT>(r.lo)), VT_EMPTY);
  drop_variant(r);
  // Success clears the error; codes outside the table have no text.
  call(kCallNumber, {o.arg(), Text("NoArgs")});
  EXPECT_EQ(com::last_error(), 0);
  EXPECT_EQ(error_text(), "");
  com::set_last_error(-19);
  EXPECT_EQ(error_text(), "");
  // The last error belongs to the thread that made it.
  com::set_last_error(com::kOverflow);
  std::thread([] { EXPECT_EQ(com::last_error(), 0); }).join();
  EXPECT_EQ(error_text(), "溢出");
}

TEST_F(ComTest, ArgumentsConvertedPassedByReferenceAndWrittenBack) {
  Obj o;
  ASSERT_TRUE(create(o, kProbe));
  // A Long passes its low 32 bits; a variant parameter gets a reference to a variant.
  EXPECT_EQ(take_text(call(kCallText, {o.arg(), Text("TypeOf"), Long((1LL << 32) + 5)})), "400c:3=5");
  EXPECT_EQ(as_double(call(kCallNumber, {o.arg(), Text("Echo"), Long((1LL << 32) + 5)})), 5.0);
  struct Case {
    ArgRecord value;
    const char* seen;
  };
  const Case cases[] = {
      {Byte(200), "400c:11=200"},   {Short(-2), "400c:2=-2"},  {Int(-7), "400c:3=-7"},
      {Float(1.5f), "400c:4=1.5"},  {Double(0.25), "400c:5=0.25"},
      {Bool(true), "400c:b=-1"},  {Text("字"), "400c:8=字"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(take_text(call(kCallText, {o.arg(), Text("TypeOf"), c.value})), c.seen);
  // Converted to the declared type: a text to a 4-byte integer, an integer to a real.
  EXPECT_EQ(as_double(call(kCallNumber, {o.arg(), Text("Scale"), Text("3"), Int(2)})), 6.0) << error_text();

  // Omitted arguments: one in the middle is the marker, trailing ones are not passed.
  EXPECT_EQ(take_text(call(kCallText, {o.arg(), Text("Optional"), Int(1), Omit(), Int(3)})), "3|1|missing|3");
  EXPECT_EQ(take_text(call(kCallText, {o.arg(), Text("Optional"), Int(1), Omit(), Omit()})), "1|1");
  EXPECT_EQ(take_text(call(kCallText, {o.arg(), Text("Optional")})), "0");
  // A variable argument list takes any number.
  EXPECT_EQ(take_text(call(kCallText, {o.arg(), Text("Join"), Text("-"), Int(1), Text("b"), Double(2.5), Bool(false)})),
            "1-b-2.5-0");
  EXPECT_EQ(take_text(call(kCallText, {o.arg(), Text("Join"), Text("-")})), std::nullopt);  // empty

  // Output parameters passed as variables are written back; values are not.
  int32_t n = 21;
  call(kCall, {o.arg(), Text("Twice"), IntVariable(&n)});
  EXPECT_EQ(com::last_error(), 0) << error_text();
  EXPECT_EQ(n, 42);
  call(kCall, {o.arg(), Text("Twice"), Int(5)});
  EXPECT_EQ(com::last_error(), 0) << error_text();
  char* text = static_cast<char*>(runtime::allocate(4));
  std::strcpy(text, "old");
  Var v;
  call(kVarSet, {v.arg(), Int(4)});
  call(kCall, {o.arg(), Text("Greet"), ArgRecord{addr(&text), 0, runtime::variable_type(runtime::kTypeText)}, v.variable()});
  EXPECT_EQ(com::last_error(), 0) << error_text();
  EXPECT_STREQ(text, "你好");
  runtime::free_block(text);
  EXPECT_EQ(as_double(call(kVarNumber, {v.arg()})), 40.0);
  // A variable given where the member wants a value is read through its address.
  int32_t m = 9;
  EXPECT_EQ(take_text(call(kCallText, {o.arg(), Text("TypeOf"), IntVariable(&m)})), "400c:3=9");
}

TEST_F(ComTest, ObjectResultsAndObjectArguments) {
  Obj o;
  ASSERT_TRUE(create(o, kProbe));
  ArgRecord child = call(kCallObject, {o.arg(), Text("MakeChild")});
  ASSERT_EQ(com::last_error(), 0) << error_text();
  EXPECT_EQ(live_probes(), start_ + 2);
  // The result is an object value like any other.
  ArgRecord child_arg{child.lo, 0, com::kObjectType};
  EXPECT_EQ(call(kWrite, {child_arg, Text("Name"), Text("子")}).lo, 1u);
  EXPECT_EQ(take_text(call(kReadText, {child_arg, Text("Name")})), "子");
  // Passed as an argument (a by-reference put), read back as the same object.
  EXPECT_EQ(call(kWrite, {o.arg(), Text("Child"), child_arg}).lo, 1u) << error_text();
  ArgRecord back = call(kReadObject, {o.arg(), Text("Child")});
  EXPECT_EQ(call(kSame, {child_arg, ArgRecord{back.lo, 0, com::kObjectType}}).lo, 1u);
  drop_object(back);
  // Data members: a value is written with property-put, an object by reference.
  EXPECT_EQ(call(kWrite, {o.arg(), Text("Tag"), Int(3)}).lo, 1u) << error_text();
  EXPECT_EQ(as_double(call(kReadNumber, {o.arg(), Text("Tag")})), 3.0);
  EXPECT_EQ(call(kWrite, {o.arg(), Text("Peer"), child_arg}).lo, 1u) << error_text();
  back = call(kReadObject, {o.arg(), Text("Peer")});
  EXPECT_EQ(call(kSame, {child_arg, ArgRecord{back.lo, 0, com::kObjectType}}).lo, 1u);
  drop_object(back);
  EXPECT_EQ(call(kWrite, {o.arg(), Text("Peer"), Int(1)}).lo, 0u);
  EXPECT_EQ(error_text(), "类型不匹配");
  call(kWrite, {o.arg(), Text("Peer"), ArgRecord{addr(&o.v), 0, com::kObjectType}});  // a cycle
  call(kWrite, {o.arg(), Text("Peer"), child_arg});  // broken again
  ArgRecord v = call(kReadVariant, {o.arg(), Text("Child")});
  EXPECT_EQ(call(kVarKind, {ArgRecord{v.lo, 0, com::kVariantType}}).lo, 5u);
  drop_variant(v);
  drop_object(child);
  EXPECT_EQ(live_probes(), start_ + 2) << "the parent still holds its child";
}

TEST_F(ComTest, AttachToTheRunningInstance) {
  Obj o, running;
  ASSERT_TRUE(create(o, kProbe));
  EXPECT_EQ(call(kAttach, {running.arg(), Text(kProbe)}).lo, 0u);
  call(kCall, {o.arg(), Text("Register")});
  ASSERT_EQ(com::last_error(), 0) << error_text();
  EXPECT_EQ(call(kAttach, {running.arg(), Text(kProbe)}).lo, 1u);
  EXPECT_EQ(call(kSame, {o.arg(), running.arg()}).lo, 1u);
  call(kClear, {running.arg()});
  EXPECT_EQ(call(kAttach, {running.arg(), Text(kProbeClsid)}).lo, 1u);
  call(kCall, {o.arg(), Text("Revoke")});
  call(kClear, {running.arg()});
  EXPECT_EQ(call(kAttach, {running.arg(), Text(kProbe)}).lo, 0u);
}

TEST_F(ComTest, ScriptingDictionary) {
  Obj d, by_class;
  ASSERT_TRUE(create(d, "Scripting.Dictionary")) << "the platform's scripting runtime";
  ASSERT_TRUE(create(by_class, "{EE09B103-97E0-11CF-978F-00A02463E06F}"));
  // Through a type library: the class found by name among its types; a library that cannot
  // be loaded falls back to the class name.
  Obj from_library;
  EXPECT_EQ(call(kCreate, {from_library.arg(), Text("Dictionary"), Text("scrrun.dll")}).lo, 1u) << error_text();
  EXPECT_EQ(as_double(call(kReadNumber, {from_library.arg(), Text("Count")})), 0.0);
  EXPECT_EQ(com::last_error(), 0);
  EXPECT_EQ(call(kCreate, {from_library.arg(), Text("Scripting.Dictionary"), Text("no such.tlb")}).lo, 1u);
  EXPECT_EQ(call(kCreate, {from_library.arg(), Text("NoSuchClass"), Text("scrrun.dll")}).lo, 0u);
  call(kCall, {d.arg(), Text("Add"), Text("a"), Int(1)});
  EXPECT_EQ(com::last_error(), 0) << error_text();
  call(kCall, {d.arg(), Text("Add"), Text("b"), Text("二")});
  EXPECT_EQ(as_double(call(kReadNumber, {d.arg(), Text("Count")})), 2.0);
  EXPECT_EQ(take_text(call(kReadText, {d.arg(), Text("Item"), Text("b")})), "二");
  EXPECT_EQ(call(kCallLogical, {d.arg(), Text("Exists"), Text("a")}).lo, 1u);
  EXPECT_EQ(call(kCallLogical, {d.arg(), Text("Exists"), Text("z")}).lo, 0u);
  // Writing an item by key, then the keys as an array.
  EXPECT_EQ(call(kWrite, {d.arg(), Text("Item"), Text("a"), Double(1.5)}).lo, 1u) << error_text();
  EXPECT_EQ(as_double(call(kReadNumber, {d.arg(), Text("Item"), Text("a")})), 1.5);
  ArgRecord keys = call(kCallVariant, {d.arg(), Text("Keys")});
  ArgRecord keys_arg{keys.lo, 0, com::kVariantType};
  EXPECT_EQ(call(kVarKind, {keys_arg}).lo, 13u);
  ArgRecord texts = call(kVarArray, {keys_arg});
  EXPECT_EQ(texts.type, runtime::kTypeText | runtime::kArrayBit);
  auto items = take_array(texts, true);
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0], "a");
  EXPECT_EQ(items[1], "b");
  drop_variant(keys);
  // Adding a key twice is the server's exception.
  call(kCall, {d.arg(), Text("Add"), Text("a"), Int(1)});
  EXPECT_EQ(com::last_error(), com::kException);
}

// Repeated calls of every result kind hold no memory of the runtime heap once their results
// are freed (a binding cache that grew per call, or a lost block, would show here).
TEST_F(ComTest, RepeatedCallsKeepNoMemory) {
  Obj o;
  Var v;
  ASSERT_TRUE(create(o, kProbe));
  int32_t n = 1;
  auto round = [&] {
    call(kWrite, {o.arg(), Text("Name"), Text("名字")});
    take_text(call(kReadText, {o.arg(), Text("Name")}));
    drop_object(call(kCallObject, {o.arg(), Text("MakeChild")}));
    drop_variant(call(kReadVariant, {o.arg(), Text("Name")}));
    take_text(call(kCallText, {o.arg(), Text("Optional"), Int(1), Omit(), Text("x")}));
    call(kCall, {o.arg(), Text("Twice"), IntVariable(&n)});
    n = 1;
    call(kCall, {o.arg(), Text("Fail"), Text("坏")});
    take_text(call(kErrorText, {}));
    call(kVarSet, {v.arg(), Bin("bytes")});
    take_bin(call(kVarBytes, {v.arg()}));
    call(kVarCreateArray, {v.arg(), Int(8), Int(3)});
    call(kVarSetElement, {v.arg(), Text("t"), Int(1)});
    take_array(call(kVarArray, {v.arg()}), true);
  };
  for (int i = 0; i < 50; ++i) round();
  uint64_t before = heap_busy_bytes();
  for (int i = 0; i < 500; ++i) round();
  EXPECT_LT(heap_busy_bytes(), before + 1024) << "grew by " << heap_busy_bytes() - before;
}

// ---- variants ----

TEST_F(ComTest, VariantKindsSetReadCopy) {
  Var v, w;
  struct Case {
    ArgRecord value;
    int kind;
    const char* text;
  };
  const Case cases[] = {
      {Int(12), 1, "12"},       {Long(1LL << 40), 1, "1099511627776"},
      {Double(0.5), 1, "0.5"},  {Text("文本"), 2, "文本"},
      {Bool(true), 3, "-1"},  {Omit(), 0, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(call(kVarSet, {v.arg(), c.value}).lo, 1u);
    EXPECT_EQ(static_cast<int>(call(kVarKind, {v.arg()}).lo), c.kind);
    EXPECT_EQ(take_text(call(kVarText, {v.arg()})).value_or(""), c.text);
  }
  // Set with a kind converts; a value that does not convert leaves the variant as it was.
  EXPECT_EQ(call(kVarSet, {v.arg(), Text("2.25"), Int(1)}).lo, 1u);
  EXPECT_EQ(call(kVarKind, {v.arg()}).lo, 1u);
  EXPECT_EQ(as_double(call(kVarNumber, {v.arg()})), 2.25);
  EXPECT_EQ(call(kVarSet, {v.arg(), Text("abc"), Int(1)}).lo, 0u);
  EXPECT_EQ(error_text(), "类型不匹配");
  EXPECT_EQ(as_double(call(kVarNumber, {v.arg()})), 2.25);
  EXPECT_EQ(call(kVarSet, {v.arg(), Date(45000.5)}).lo, 1u);
  EXPECT_EQ(call(kVarKind, {v.arg()}).lo, 4u);
  EXPECT_EQ(as_double(call(kVarDate, {v.arg()})), 45000.5);
  // Read as another kind: a conversion, or the type mismatch and the empty value.
  call(kVarSet, {v.arg(), Text("abc")});
  ArgRecord r = call(kVarNumber, {v.arg()});
  EXPECT_EQ(error_text(), "类型不匹配");
  EXPECT_EQ(as_double(r), 0.0);
  r = call(kVarObject, {v.arg()});
  EXPECT_EQ(error_text(), "类型不匹配");
  drop_object(r);
  EXPECT_EQ(call(kVarLogical, {v.arg()}).lo, 0u);
  EXPECT_EQ(error_text(), "类型不匹配");
  // Copy is deep: clearing the copy leaves the original.
  call(kVarSet, {v.arg(), Text("原")});
  call(kVarCopy, {w.arg(), v.arg()});
  call(kVarClear, {v.arg()});
  EXPECT_EQ(call(kVarKind, {v.arg()}).lo, 0u);
  EXPECT_EQ(take_text(call(kVarText, {w.arg()})), "原");
  // Objects in variants, and a variant given to a call.
  Obj o;
  ASSERT_TRUE(create(o, kProbe));
  EXPECT_EQ(call(kVarSet, {v.arg(), o.arg()}).lo, 1u);
  EXPECT_EQ(call(kVarKind, {v.arg()}).lo, 5u);
  r = call(kVarObject, {v.arg()});
  EXPECT_EQ(call(kSame, {o.arg(), ArgRecord{r.lo, 0, com::kObjectType}}).lo, 1u);
  drop_object(r);
  EXPECT_EQ(call(kWrite, {o.arg(), Text("Value"), w.arg()}).lo, 1u);
  EXPECT_EQ(take_text(call(kReadText, {o.arg(), Text("Value")})), "原");
  call(kVarClear, {v.arg()});
}

TEST_F(ComTest, VariantArrays) {
  Var v;
  // Kind 13, 2 x 3, indexes from 0.
  ASSERT_EQ(call(kVarCreateArray, {v.arg(), Int(13), Int(2), Int(3)}).lo, 1u) << error_text();
  EXPECT_EQ(call(kVarKind, {v.arg()}).lo, 13u);
  EXPECT_EQ(call(kVarDims, {v.arg()}).lo, 2u);
  EXPECT_EQ(call(kVarBound, {v.arg(), Int(1)}).lo, 0u);
  EXPECT_EQ(call(kVarBound, {v.arg(), Int(1), Bool(true)}).lo, 1u);
  EXPECT_EQ(call(kVarBound, {v.arg(), Int(2), Bool(true)}).lo, 2u);
  EXPECT_EQ(call(kVarBound, {v.arg(), Int(3), Bool(true)}).lo, 0u);
  EXPECT_EQ(error_text(), "溢出");
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 3; ++j)
      ASSERT_EQ(call(kVarSetElement, {v.arg(), Int(i * 10 + j), Int(i), Int(j)}).lo, 1u) << error_text();
  ArgRecord el = call(kVarElement, {v.arg(), Int(1), Int(2)});
  EXPECT_EQ(as_double(call(kVarNumber, {ArgRecord{el.lo, 0, com::kVariantType}})), 12.0);
  drop_variant(el);
  // Out of bounds, or the wrong number of indexes.
  EXPECT_EQ(call(kVarSetElement, {v.arg(), Int(1), Int(2), Int(0)}).lo, 0u);
  EXPECT_EQ(error_text(), "溢出");
  el = call(kVarElement, {v.arg(), Int(0), Int(-1)});
  EXPECT_EQ(error_text(), "溢出");
  drop_variant(el);
  el = call(kVarElement, {v.arg(), Int(0)});
  EXPECT_EQ(error_text(), "参数数目错误");
  drop_variant(el);
  // As a system array: rows in order, the last index fastest.
  ArgRecord a = call(kVarArray, {v.arg(), Int(static_cast<int32_t>(runtime::kTypeInt))});
  ASSERT_EQ(com::last_error(), 0) << error_text();
  const uint32_t* block = at<uint32_t>(a.lo);
  ASSERT_EQ(block[0], 2u);
  EXPECT_EQ(block[1], 2u);
  EXPECT_EQ(block[2], 3u);
  std::vector<int32_t> got(block + 3, block + 9);
  EXPECT_EQ(got, (std::vector<int32_t>{0, 1, 2, 10, 11, 12}));
  runtime::free_block(at<void>(a.lo));

  // A system array in, and back out.
  int32_t ints[3] = {5, -6, 7};
  ASSERT_EQ(call(kVarSet, {v.arg(), Array(runtime::kTypeInt, 3, std::string(reinterpret_cast<char*>(ints), 12))}).lo, 1u);
  EXPECT_EQ(call(kVarKind, {v.arg()}).lo, 7u);
  a = call(kVarArray, {v.arg()});
  EXPECT_EQ(a.type, runtime::kTypeInt | runtime::kArrayBit);
  block = at<uint32_t>(a.lo);
  ASSERT_EQ(block[1], 3u);
  EXPECT_EQ(std::memcmp(block + 2, ints, 12), 0);
  runtime::free_block(at<void>(a.lo));

  // Byte sets both ways; other arrays are no byte set.
  const std::string bytes("\x00\x01\xFF\x80xyz", 7);
  ASSERT_EQ(call(kVarSet, {v.arg(), Bin(bytes)}).lo, 1u);
  EXPECT_EQ(call(kVarKind, {v.arg()}).lo, 7u);
  EXPECT_EQ(take_bin(call(kVarBytes, {v.arg()})), bytes);
  ASSERT_EQ(call(kVarCreateArray, {v.arg(), Int(8), Int(2)}).lo, 1u);
  EXPECT_EQ(take_bin(call(kVarBytes, {v.arg()})), std::nullopt);
  EXPECT_EQ(error_text(), "类型不匹配");
  // A text array element takes only what converts to text; kinds outside 7..13 are refused.
  EXPECT_EQ(call(kVarSetElement, {v.arg(), Double(1.5), Int(0)}).lo, 1u);
  ArgRecord t = call(kVarElement, {v.arg(), Int(0)});
  EXPECT_EQ(call(kVarKind, {ArgRecord{t.lo, 0, com::kVariantType}}).lo, 2u);
  EXPECT_EQ(take_text(call(kVarText, {ArgRecord{t.lo, 0, com::kVariantType}})), "1.5");
  drop_variant(t);
  EXPECT_EQ(call(kVarCreateArray, {v.arg(), Int(2), Int(2)}).lo, 0u);
  EXPECT_EQ(error_text(), "参数类型值无效");
  EXPECT_EQ(call(kVarCreateArray, {v.arg(), Int(13)}).lo, 0u);
  EXPECT_EQ(error_text(), "参数数目错误");
  // An array handed to an object and read back.
  Obj o;
  ASSERT_TRUE(create(o, kProbe));
  call(kVarSet, {v.arg(), Array(runtime::kTypeInt, 3, std::string(reinterpret_cast<char*>(ints), 12))});
  EXPECT_EQ(call(kWrite, {o.arg(), Text("Value"), v.arg()}).lo, 1u);
  ArgRecord back = call(kReadVariant, {o.arg(), Text("Value")});
  EXPECT_EQ(call(kVarBound, {ArgRecord{back.lo, 0, com::kVariantType}, Int(1), Bool(true)}).lo, 2u);
  drop_variant(back);
}

// ---- pictures and fonts ----

// A 3 x 2 24-bit BMP file.
std::string small_bmp() {
  const int w = 3, h = 2, stride = 12;
  std::string px(stride * h, '\0');
  for (int i = 0; i < w * h; ++i) px[(i / w) * stride + (i % w) * 3] = static_cast<char>(40 * i);
  BITMAPFILEHEADER fh{};
  BITMAPINFOHEADER ih{};
  ih.biSize = sizeof ih;
  ih.biWidth = w;
  ih.biHeight = h;
  ih.biPlanes = 1;
  ih.biBitCount = 24;
  ih.biSizeImage = static_cast<DWORD>(px.size());
  fh.bfType = 0x4D42;
  fh.bfOffBits = sizeof fh + sizeof ih;
  fh.bfSize = static_cast<DWORD>(fh.bfOffBits + px.size());
  return std::string(reinterpret_cast<char*>(&fh), sizeof fh) +
         std::string(reinterpret_cast<char*>(&ih), sizeof ih) + px;
}

TEST_F(ComTest, PictureAndFontObjectsRoundTrip) {
  Obj pic, font, probe;
  const std::string bmp = small_bmp();
  ASSERT_EQ(call(kPicture, {pic.arg(), Bin(bmp)}).lo, 1u) << error_text();
  auto data = take_bin(call(kPictureData, {pic.arg()}));
  ASSERT_TRUE(data.has_value()) << error_text();
  ASSERT_GE(data->size(), sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER));
  EXPECT_EQ(data->substr(0, 2), "BM");
  BITMAPINFOHEADER ih;
  std::memcpy(&ih, data->data() + sizeof(BITMAPFILEHEADER), sizeof ih);
  EXPECT_EQ(ih.biWidth, 3);
  EXPECT_EQ(std::abs(ih.biHeight), 2);
  // The picture is an automation object: its width in HIMETRIC units is readable by name.
  EXPECT_GT(as_double(call(kReadNumber, {pic.arg(), Text("Width")})), 0.0) << error_text();
  EXPECT_EQ(call(kPicture, {probe.arg(), Bin("not a picture")}).lo, 0u);

  const char face[] = "Tahoma";  // a face the test prefix has
  com::FontRecord rec{0, 1, 0, 1, 1, 12, face};
  ASSERT_EQ(call(kFont, {font.arg(), ArgRecord{addr(&rec), 0, com::kFontType}}).lo, 1u) << error_text();
  ArgRecord r = call(kFontRecord, {font.arg()});
  ASSERT_EQ(com::last_error(), 0);
  auto* back = at<com::FontRecord>(r.lo);
  EXPECT_EQ(back->bold, 1u);
  EXPECT_EQ(back->italic, 0u);
  EXPECT_EQ(back->strike_out, 1u);
  EXPECT_EQ(back->underline, 1u);
  EXPECT_EQ(back->points, 12);
  EXPECT_STREQ(back->face, face);
  runtime::free_block(const_cast<char*>(back->face));
  runtime::free_block(back);
  // A font property set by name changes the record.
  EXPECT_EQ(call(kWrite, {font.arg(), Text("Size"), Int(20)}).lo, 1u) << error_text();
  r = call(kFontRecord, {font.arg()});
  EXPECT_EQ(at<com::FontRecord>(r.lo)->points, 20);
  runtime::free_block(const_cast<char*>(at<com::FontRecord>(r.lo)->face));
  runtime::free_block(at<void>(r.lo));
  // A non-font object gives the default font and its error.
  ASSERT_TRUE(create(probe, kProbe));
  r = call(kFontRecord, {probe.arg()});
  EXPECT_EQ(error_text(), "该对象不是字体对象");
  EXPECT_GT(at<com::FontRecord>(r.lo)->points, 0);
  runtime::free_block(const_cast<char*>(at<com::FontRecord>(r.lo)->face));
  runtime::free_block(at<void>(r.lo));
  // No font record: the default font.
  ASSERT_EQ(call(kFont, {font.arg(), Omit()}).lo, 1u);
}

// A unit type of another library that hosts an embedded control: its window is a plain
// static window, and its control-object operation answers a probe object it holds.
IUnknown* g_hosted_control;

void* __cdecl host_create(const uint8_t*, uint32_t, uint32_t style, HWND parent, uint32_t id,
                          HMENU, int x, int y, int w, int h, uint32_t, uint32_t, uint32_t, uint32_t) {
  HWND hwnd = CreateWindowExA(0, "STATIC", "", style | WS_CHILD, x, y, w, h, parent,
                              reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)),
                              GetModuleHandleA(nullptr), nullptr);
  if (!hwnd) return nullptr;
  auto* object = new framework::Window;
  object->attach(hwnd);
  return object;
}
IUnknown* __cdecl host_control(void*) {
  if (g_hosted_control) g_hosted_control->AddRef();
  return g_hosted_control;
}
void* __cdecl host_interface(int n) {
  if (n == units::kCreate) return reinterpret_cast<void*>(&host_create);
  if (n == com::kControlObjectOperation) return reinterpret_cast<void*>(&host_control);
  return nullptr;
}

TEST_F(ComTest, UnitObjectOfAHostingUnit) {
  units::install();
  units::UnitTypeEntry type{"控件", "Host", "", 0, nullptr, 0x80200040, 0, 0, nullptr, 0,
                            nullptr, &host_interface, 0, nullptr};
  corelib::LibDescriptor library{};
  library.type_count = 1;
  library.types = &type;
  auto& libraries = runtime::rt().libraries;
  size_t saved = libraries.size();
  libraries.resize(2);
  libraries[1].descriptor = &library;
  units::WindowTemplate w;
  w.id = 0x52017A00;
  units::Entry own, host;
  own.id = 0x06017A01;
  own.type = units::kWindowType;
  own.width = 300;
  own.height = 200;
  own.flags = 1;
  host.id = 0x16017A02;
  host.type = 0x20001;
  host.width = 100;
  host.height = 50;
  host.flags = 1;
  w.entries = {own, host};
  runtime::rt().templates.assign(1, &w);
  ASSERT_TRUE(units::load_window(w, false, nullptr));

  Obj probe, u;
  ASSERT_TRUE(create(probe, kProbe));
  g_hosted_control = probe.v.unknown;
  const ArgRecord unit{w.id, host.id, 0x20001};
  EXPECT_EQ(call(kUnitObject, {u.arg(), unit}).lo, 1u) << error_text();
  EXPECT_EQ(call(kSame, {u.arg(), probe.arg()}).lo, 1u);
  EXPECT_EQ(call(kUnitObject, {u.arg(), unit, Text("{00020400-0000-0000-C000-000000000046}")}).lo, 1u);
  EXPECT_EQ(call(kWrite, {u.arg(), Text("Name"), Text("控件")}).lo, 1u);
  EXPECT_EQ(take_text(call(kReadText, {probe.arg(), Text("Name")})), "控件");
  // An interface the control does not have.
  EXPECT_EQ(call(kUnitObject, {u.arg(), unit, Text("{00000000-1111-2222-3333-444444444444}")}).lo, 0u);
  EXPECT_EQ(error_text(), "指定对象没有调用接口");
  // A unit of a type that hosts nothing.
  type.flags = 0x80000040;
  EXPECT_EQ(call(kUnitObject, {u.arg(), unit}).lo, 0u);
  EXPECT_EQ(error_text(), "指定对象没有调用接口");
  g_hosted_control = nullptr;
  call(kClear, {u.arg()});
  DestroyWindow(units::live_handle(w.entries[0]));
  runtime::rt().templates.clear();
  libraries.resize(saved);
}

TEST_F(ComTest, UnitObjectRefusedWithoutItsUnit) {
  Obj u;
  // No window is loaded: no unit, no control.
  EXPECT_EQ(call(kUnitObject, {u.arg(), ArgRecord{0x52010001, 0x16010002, 0x1000B}}).lo, 0u);
  EXPECT_EQ(error_text(), "对象为空");
  EXPECT_EQ(call(kIsEmpty, {u.arg()}).lo, 1u);
  EXPECT_EQ(call(kUnitObject, {u.arg(), ArgRecord{0x52010001, 0x16010002, 0x1000B}, Text("{bad")}).lo, 0u);
  EXPECT_EQ(error_text(), "参数类型值无效");
}

TEST_F(ComTest, ObjectInformationThroughTheAddOnModule) {
  Obj o, empty;
  ASSERT_TRUE(create(o, kProbe));
  runtime::Runtime& rt = runtime::rt();
  // A module that is not there: the call fails and nothing is kept.
  rt.addon_paths[2] = "C:\\no such folder\\objscope.vsx";
  call(kShowInfo, {o.arg()});
  EXPECT_EQ(error_text(), "其他原因调用失败");
  EXPECT_EQ(rt.addon_modules[2], nullptr);
  // The stand-in beside the test program gets the object's interface.
  rt.addon_paths[2].clear();
  call(kShowInfo, {empty.arg()});
  EXPECT_EQ(error_text(), "对象为空");
  call(kShowInfo, {o.arg()});
  ASSERT_EQ(error_text(), "");
  HMODULE module = rt.addon_modules[2];
  ASSERT_NE(module, nullptr);
  auto last = reinterpret_cast<IUnknown*(__cdecl*)()>(GetProcAddress(module, "objscope_last"));
  auto calls = reinterpret_cast<long(__cdecl*)()>(GetProcAddress(module, "objscope_calls"));
  EXPECT_EQ(last(), o.v.unknown);
  call(kShowInfo, {o.arg()});  // loaded once, called again
  EXPECT_EQ(calls(), 2);
}

// A program written in C calls the commands as compiled code does (see com_prog.c for the
// checks; its exit code names the first that failed).
TEST_F(ComTest, CompiledProgramDrivesObjects) {
  kit::Process p(kit::bin_dir() + "com_prog.exe");
  ASSERT_TRUE(p.started());
  DWORD code = kit::kStillRunning;
  ASSERT_TRUE(p.wait(20000, &code));
  EXPECT_EQ(code, 0u) << "check " << code << " of com_prog.c failed";
}

}  // namespace
