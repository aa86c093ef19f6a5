// Database error codes: the message of every code, and the last code of each thread.
#pragma once
#include <cstdint>

namespace database {

// The message of `code`: empty for 0, "未知错误" for a code outside the table. GBK.
const char* error_text(int32_t code);

// The last database error of the calling thread (0 after success).
int32_t last_error();
void set_last_error(int32_t code);

}  // namespace database
