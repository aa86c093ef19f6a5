// Support library loading: one entry of an image's library list becomes a loaded, checked
// library with a process-wide number, or is recorded to be loaded on first use.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace corelib { struct LibDescriptor; }

namespace image {

// Loads entry `entry` as library `number` (tables grown when needed). With `on_demand`
// false an entry that is not the core library is only recorded. A refused library is a
// run-time error; returns true otherwise.
bool load_library_entry(const char* entry, uint32_t number, bool on_demand);
// Loads a recorded library now; an empty record is the run-time error "无效的支持库指定!".
void ensure_loaded(uint32_t number);
// The core library's descriptor (library 0), or null before it is registered.
corelib::LibDescriptor* core_descriptor_loaded();

// The fields of a list entry, split at the carriage-return byte (at most six).
std::vector<std::string> entry_fields(const char* entry);
// Field 0 reduced to the library name: directory removed, and the extension too unless the
// name starts with "@" or ends in ".wpa" / ".wca".
std::string library_file_name(const std::string& field0);
// The message of a refused component, type library or OCX entry (at most 1023 bytes).
std::string bridge_message(const std::vector<std::string>& fields, const std::string& detail);
// The message of a refused ordinary library (at most 1023 bytes).
std::string missing_library_message(const std::vector<std::string>& fields,
                                    const std::string& detail);

}  // namespace image
