// Output of the database tool: texts of the system are GBK, the terminal wants UTF-8 (or, on
// a console, UTF-16); numbers, dates and byte sets as text; CSV and JSON escaping.
#pragma once
#include <cstdint>
#include <string>

namespace vdbtool {

// UTF-8 for the terminal from GBK bytes, and back (false when `utf8` is not valid UTF-8).
std::string utf8_from_gbk(const std::string& gbk);
bool gbk_from_utf8(const std::string& utf8, std::string* gbk);

// Writes UTF-8 text to standard output or standard error (a console gets UTF-16).
void out(const std::string& utf8);
void err(const std::string& utf8);
// printf-like, then out().
std::string format(const char* fmt, ...);

// A database error code with its message, for people: "-22 (指定文件不是数据库文件)".
std::string code_text(int32_t code);

std::string hex(const std::string& bytes);
bool unhex(const std::string& text, std::string* bytes);
// "YYYY-MM-DD HH:MM:SS" (the time left out when it is midnight), or the number when the
// value is outside the calendar the platform converts.
std::string date_text(double value);
bool parse_date(const std::string& text, double* value);

std::string csv_cell(const std::string& utf8);
std::string json_string(const std::string& utf8);

}  // namespace vdbtool
