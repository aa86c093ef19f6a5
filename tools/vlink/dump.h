// Readable dump of an application image (in the description syntax, with comments).
#pragma once
#include <string>
#include "bytes.h"

namespace vlink {

std::string dump_image(const Bytes& carrier);  // throws Error on a corrupt image

}  // namespace vlink
