// Text conversion between the UTF-8 of sources and descriptions and the GBK the image stores.
#pragma once
#include <string>

namespace vlink {

std::string utf8_to_gbk(const std::string& utf8);  // throws Error on unconvertible text
// One double-byte GBK character as UTF-8; false when the pair is not a GBK character.
bool gbk_pair_to_utf8(unsigned char lead, unsigned char trail, std::string& out);

}  // namespace vlink
