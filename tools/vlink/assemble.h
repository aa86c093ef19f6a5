// Assembling a program: its string literals turned from UTF-8 into GBK, then the cross
// assembler run on the result.
#pragma once
#include <string>
#include "bytes.h"

namespace vlink {

// Rewrites every double-quoted literal so that its non-ASCII text becomes GBK octal escapes.
std::string gbk_literals(const std::string& source, const std::string& file_name);
// Assembles `source_file` (GNU syntax) and returns the object file's bytes.
Bytes assemble(const std::string& source_file, const std::string& include_dir, const std::string& assembler);

}  // namespace vlink
