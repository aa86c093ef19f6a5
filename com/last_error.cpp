// Per-thread last object error and its texts.
#include "com/last_error.h"
#include <windows.h>
#include <oleauto.h>

namespace com {

namespace {

struct LastError {
  int code = 0;
  std::string detail;
};
thread_local LastError t_last;

// By -code - 1.
constexpr const char* kTexts[18] = {
    "对象为空",
    "指定对象没有调用接口",
    "未找到指定属性或方法",
    "指定对象没有类型信息",
    "提供了过多的参数",
    "该对象不是字体对象",
    "参数数据类型错误",
    "执行成功，但返回值类型不匹配",
    "参数数目错误",
    "参数类型值无效",
    "发现异常",
    "未找到指定成员",
    "不支持命名参数",
    "溢出",
    "未找到指定参数",
    "类型不匹配",
    "必需的参数数据被省略",
    "其他原因调用失败",
};

struct HresultCode {
  HRESULT hr;
  int code;
};
constexpr HresultCode kInvokeFailures[] = {
    {DISP_E_MEMBERNOTFOUND, kMemberNotFound},   {DISP_E_PARAMNOTFOUND, kParameterNotFound},
    {DISP_E_TYPEMISMATCH, kTypeMismatch},       {DISP_E_NONAMEDARGS, kNoNamedArguments},
    {DISP_E_BADVARTYPE, kBadVarType},           {DISP_E_EXCEPTION, kException},
    {DISP_E_OVERFLOW, kOverflow},               {DISP_E_BADPARAMCOUNT, kBadParameterCount},
    {DISP_E_PARAMNOTOPTIONAL, kNotOptional},
};

}  // namespace

int last_error() { return t_last.code; }

void set_last_error(int code, std::string_view detail) {
  t_last.code = code;
  t_last.detail.assign(detail);
}

const char* error_text(int code) {
  return code <= -1 && code >= -18 ? kTexts[-code - 1] : nullptr;
}

std::string last_error_text() {
  const char* text = error_text(t_last.code);
  if (!text) return {};
  std::string s = text;
  if (t_last.code == kException && !t_last.detail.empty()) s += "：" + t_last.detail;
  return s;
}

int code_of(long hresult) {
  if (SUCCEEDED(hresult)) return kOk;
  for (const HresultCode& h : kInvokeFailures)
    if (h.hr == hresult) return h.code;
  return kOtherFailure;
}

}  // namespace com
