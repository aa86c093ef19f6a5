// The tool's commands, one function each; every one returns the process exit code: 0 done,
// 1 a fault found by check (or left after repair), 2 a usage or open error.
#pragma once
#include "vdbtool/check.h"

namespace vdbtool {

inline constexpr int kOk = 0, kFaults = 1, kError = 2;

int run_info(const Options& o);
int run_dump(const Options& o);
int run_check(const Options& o);
int run_repair(const Options& o);
int run_create(const Options& o);
int run_import(const Options& o);
int run_index(const Options& o);

// Prints "vdbtool: <what>" to standard error and returns kError.
int fail(const std::string& what);

}  // namespace vdbtool
