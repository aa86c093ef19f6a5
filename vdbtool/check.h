// The tool's consistency check of a database, its auxiliary file and its index files, and
// the repair built on what the check finds.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace vdbtool {

struct Options {
  std::string command;
  std::string db;                    // GBK, as given
  std::string password;
  std::vector<std::string> indexes;  // --index files
  std::string format = "csv";        // dump
  int32_t sort_mode = 0, key_flags = 0, page_factor = 1;  // index
  std::vector<std::string> rest;     // the command's further arguments
};

struct Fault {
  std::string place;  // UTF-8, for people: "record 12 field 备注", "auxiliary block 7", "index by_k page 3"
  std::string what;
};

// Checks the files without changing them. Returns 0 when the check ran (`faults` says what is
// wrong), or the error code that kept it from reading the database at all. `summary` gets one
// line of counts.
int32_t check_files(const Options& o, std::vector<Fault>* faults, std::string* summary);

// Repairs what the check finds: the counts and cut files the engine's own open repairs,
// blocks past the auxiliary header's count, damaged or shared values (cleared), the free
// block list (rebuilt from every block no value uses, the file's free end cut), and every
// named index (rebuilt, or made anew from its header when it cannot be opened). `done` lists
// what was changed. 0, or the error code that stopped it.
int32_t repair_files(const Options& o, std::vector<std::string>* done);

// The index file path the engine would use for `name` beside the database `db_path`.
std::string index_path(const std::string& db_path, const std::string& name);

}  // namespace vdbtool
