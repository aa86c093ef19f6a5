// Program sources to object files: assembly (its string literals turned from UTF-8 into GBK,
// then the cross assembler) and C (the cross compiler with flags fixed here).
#pragma once
#include <string>
#include "bytes.h"

namespace vlink {

// Rewrites every double-quoted literal so that its non-ASCII text becomes GBK octal escapes.
std::string gbk_literals(const std::string& source, const std::string& file_name);
// Assembles `source_file` (GNU syntax) and returns the object file's bytes.
Bytes assemble(const std::string& source_file, const std::string& include_dir, const std::string& assembler);
// Compiles `source_file` (C, UTF-8, texts compiled to GBK) into a freestanding 32-bit object
// without position-independent code, unwind tables or stack probes. The compiler's messages
// go to standard error; a failure throws.
Bytes compile_c(const std::string& source_file, const std::string& include_dir, const std::string& compiler);

}  // namespace vlink
