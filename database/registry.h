// Inside the engine: registering a newly opened database, and the path forms it is known by.
#pragma once
#include <memory>
#include <string>
#include "database/engine.h"

namespace database {

// The file sharing of a share mode (1 all, 2 deny read, 3 deny write, 4 exclusive).
Share share_of(int32_t mode);

// Appends to the registry and makes it current.
void register_database(std::unique_ptr<Database> db);

// The platform's full path of `path` (empty when it has none).
std::string full_path_of(const std::string& path);
// The file name without folder and extension; multi-byte aware.
std::string file_stem(const std::string& path);
// The folder part with its final "\" (empty when the path has none).
std::string folder_of(const std::string& path);

}  // namespace database
