// Names in the database engine: the file names of a database's files, and the rule for
// field names and database aliases. Every "\" and "." search is multi-byte aware: the trail
// byte of a GBK character is never taken for a separator.
#pragma once
#include <string>

namespace database {

// Appends ".VDB" (or "VDB" after a final ".") when the name has no extension after its last
// "\"; another extension stays. Index files use the same rule with "VNX".
std::string with_default_extension(const std::string& path, const char* extension);
// The same path and stem with the extension exchanged (the auxiliary file: "VDT").
std::string with_extension(const std::string& path, const char* extension);

// A field name or alias: not empty, no leading digit, "." or full-width digit, only letters,
// digits, "_" and the accepted double-byte characters; field names at most 16 bytes.
bool valid_name(const std::string& name, bool field_name);
// Equal ignoring ASCII letter case; double-byte characters compare whole.
bool same_name(const std::string& a, const std::string& b);

}  // namespace database
