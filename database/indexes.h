// The engine's side of an open index: the tree, the file's full path and the name under
// which the database lists it.
#pragma once
#include <string>
#include "database/index_tree.h"

namespace database {

struct OpenIndex {
  std::string path;  // full path (two names of one file are refused at open)
  std::string name;  // file name without folder and extension
  IndexTree tree;
};

}  // namespace database
