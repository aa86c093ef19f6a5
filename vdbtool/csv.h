// CSV rows as the tool imports them: cells separated by ",", quoted cells may hold ",",
// line breaks and doubled quotes; lines end in CRLF or LF; a UTF-8 byte-order mark is dropped.
#pragma once
#include <string>
#include <vector>

namespace vdbtool {

// False with `why` for a quote left open.
bool parse_csv(const std::string& text, std::vector<std::vector<std::string>>* rows, std::string* why);

}  // namespace vdbtool
