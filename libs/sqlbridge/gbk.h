// Texts across the ODBC boundary: the program's GBK texts go to the driver as UTF-16 and come
// back from it the same way, so no driver ever splits a GBK character.
#pragma once
#include <string>
#include <string_view>

namespace sqlbridge {

std::wstring to_wide(std::string_view gbk);
std::string to_gbk(std::wstring_view wide);

}  // namespace sqlbridge
