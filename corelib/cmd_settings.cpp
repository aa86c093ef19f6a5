// Settings commands: program settings and registry values (read, write, delete, exists), INI
// file values and section names, and the operating system line. Reads fall back to the
// caller's default; every platform failure comes back as the command's failure result.
#include <windows.h>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>
#include "corelib/cmd_support.h"
#include "corelib/commands.h"
#include "corelib/gbk_path.h"
#include "framework/gdi.h"
#include "runtime/heap.h"

namespace corelib {

using namespace runtime;

namespace {

struct KeyCloser {
  void operator()(HKEY k) const { RegCloseKey(k); }
};
using Key = framework::Owned<HKEY, KeyCloser>;

const char* text_arg(int argc, ArgRecord* args, int i) { return text_of(arg_at(argc, args, i)); }

// A registry value: the key below a root, and the value name in it.
struct ValuePlace {
  HKEY root;
  std::string key;
  std::string name;
};

HKEY root_of(int32_t n) {
  switch (n) {
    case 1: return HKEY_CLASSES_ROOT;
    case 2: return HKEY_CURRENT_CONFIG;
    case 4: return HKEY_LOCAL_MACHINE;
    case 5: return HKEY_USERS;
    default: return HKEY_CURRENT_USER;
  }
}

std::string program_key(const char* program, const char* section) {
  return std::string("Software\\") + program + "\\" + section;
}

ValuePlace program_place(int argc, ArgRecord* args) {
  return {HKEY_CURRENT_USER, program_key(text_arg(argc, args, 0), text_arg(argc, args, 1)),
          text_arg(argc, args, 2)};
}

// Registry paths: the last "\" parts key and value name; without one the value lives in the
// root itself.
ValuePlace registry_place(int argc, ArgRecord* args) {
  std::string_view path = text_arg(argc, args, 1);
  size_t at = last_separator(path, false);
  if (at == std::string_view::npos) return {root_of(int_or(argc, args, 0, 3)), {}, std::string(path)};
  return {root_of(int_or(argc, args, 0, 3)), std::string(path.substr(0, at)),
          std::string(path.substr(at + 1))};
}

Key open_key(HKEY root, const std::string& key, REGSAM access) {
  HKEY k = nullptr;
  if (RegOpenKeyExA(root, key.c_str(), 0, access, &k) != ERROR_SUCCESS) return Key();
  return Key(k);
}

// The value's kind and bytes; false when the key or value cannot be read.
bool query(const ValuePlace& at, DWORD* kind, std::string* data) {
  Key k = open_key(at.root, at.key, KEY_QUERY_VALUE);
  if (!k) return false;
  for (int attempt = 0; attempt < 4; ++attempt) {  // the value may grow between the two calls
    DWORD size = 0;
    if (RegQueryValueExA(k.get(), at.name.c_str(), nullptr, kind, nullptr, &size) != ERROR_SUCCESS)
      return false;
    data->assign(size, '\0');
    LONG rc = RegQueryValueExA(k.get(), at.name.c_str(), nullptr, kind,
                               reinterpret_cast<BYTE*>(data->data()), &size);
    if (rc == ERROR_SUCCESS) {
      data->resize(size);
      return true;
    }
    if (rc != ERROR_MORE_DATA) return false;
  }
  return false;
}

// Text values (expandable ones with their environment references expanded), cut at the
// first zero byte.
void read_text_value(ResultRecord* result, const ValuePlace& at, const ArgRecord& fallback) {
  DWORD kind;
  std::string data;
  if (query(at, &kind, &data) && (kind == REG_SZ || kind == REG_EXPAND_SZ)) {
    std::string text(data.c_str());
    if (kind == REG_EXPAND_SZ) {
      // The size asked for may count characters, not bytes: twice it holds any GBK text.
      DWORD n = ExpandEnvironmentStringsA(text.c_str(), nullptr, 0);
      std::string expanded(2 * static_cast<size_t>(n) + 2, '\0');
      DWORD got = n ? ExpandEnvironmentStringsA(text.c_str(), expanded.data(),
                                                static_cast<DWORD>(expanded.size()))
                    : 0;
      if (got && got <= expanded.size()) text = expanded.c_str();
    }
    return set_text(result, text);
  }
  if (fallback.type == kTypeText) set_text(result, text_of(fallback));
}

void read_int_value(ResultRecord* result, const ValuePlace& at, const ArgRecord& fallback) {
  DWORD kind;
  std::string data;
  if (query(at, &kind, &data) && kind == REG_DWORD && data.size() == 4) {
    int32_t v;
    memcpy(&v, data.data(), 4);
    return set_int(result, v);
  }
  set_int(result, fallback.type == kTypeNone ? 0 : num_int(fallback));
}

void read_bin_value(ResultRecord* result, const ValuePlace& at, const ArgRecord& fallback) {
  DWORD kind;
  std::string data;
  if (query(at, &kind, &data) && kind == REG_BINARY) return set_bin(result, data);
  if (fallback.type == kTypeBin) set_bin(result, bin_of(fallback));
}

// Numbers go in as 32-bit integers (through the runtime's conversion), texts as strings with
// their zero, byte sets as binary values. Other kinds are not stored.
bool write_value(const ValuePlace& at, const ArgRecord& record) {
  Arg value(record);
  const ArgRecord& v = value.record();
  DWORD kind;
  std::string data;
  if (is_numeric(v.type)) {
    int32_t n = read_int(v);
    kind = REG_DWORD;
    data.assign(reinterpret_cast<const char*>(&n), 4);
  } else if (v.type == kTypeText) {
    kind = REG_SZ;
    data.assign(text_of(v));
    data += '\0';
  } else if (v.type == kTypeBin) {
    kind = REG_BINARY;
    data.assign(bin_of(v));
  } else {
    return false;
  }
  HKEY k = nullptr;
  if (RegCreateKeyExA(at.root, at.key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                      nullptr, &k, nullptr) != ERROR_SUCCESS)
    return false;
  Key key(k);
  return RegSetValueExA(key.get(), at.name.c_str(), 0, kind,
                        reinterpret_cast<const BYTE*>(data.data()),
                        static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
}

bool value_exists(const ValuePlace& at) {
  Key k = open_key(at.root, at.key, KEY_QUERY_VALUE);
  return k && RegQueryValueExA(k.get(), at.name.c_str(), nullptr, nullptr, nullptr, nullptr) ==
                  ERROR_SUCCESS;
}

bool delete_value(const ValuePlace& at) {
  Key k = open_key(at.root, at.key, KEY_SET_VALUE);
  return k && RegDeleteValueA(k.get(), at.name.c_str()) == ERROR_SUCCESS;
}

// Deletes `sub` with everything below it. An empty name is refused: it would empty `parent`
// itself.
bool delete_tree(HKEY parent, const std::string& sub) {
  return !sub.empty() && RegDeleteTreeA(parent, sub.c_str()) == ERROR_SUCCESS;
}

// Leading characters at or below the space are not part of an INI file, section or name.
const char* skip_blanks(const char* s) {
  while (*s && static_cast<uint8_t>(*s) <= ' ') ++s;
  return s;
}

constexpr DWORD kIniValueMax = 10240;
constexpr DWORD kSectionNamesBuffer = 204800;

}  // namespace

CORELIB_COMMAND(read_setting_text) { read_text_value(result, program_place(argc, args), arg_at(argc, args, 3)); }
CORELIB_COMMAND(read_setting_int) { read_int_value(result, program_place(argc, args), arg_at(argc, args, 3)); }
CORELIB_COMMAND(read_setting_bin) { read_bin_value(result, program_place(argc, args), arg_at(argc, args, 3)); }

CORELIB_COMMAND(write_setting) {
  bool named = *text_arg(argc, args, 0) && *text_arg(argc, args, 1);
  set_bool(result, named && write_value(program_place(argc, args), arg_at(argc, args, 3)));
}

// With a value name the value goes; with a section only, the section's key; with neither, the
// program's key. An empty program or section name deletes nothing: it would reach up into
// "Software" itself.
CORELIB_COMMAND(delete_setting) {
  const char* program = text_arg(argc, args, 0);
  if (!*program) return set_bool(result, false);
  std::string program_path = std::string("Software\\") + program;
  if (!given(argc, args, 1)) {
    Key software = open_key(HKEY_CURRENT_USER, "Software", KEY_ALL_ACCESS);
    return set_bool(result, software && delete_tree(software.get(), program));
  }
  const char* section = text_arg(argc, args, 1);
  if (!*section) return set_bool(result, false);
  if (given(argc, args, 2)) return set_bool(result, delete_value(program_place(argc, args)));
  Key program_key = open_key(HKEY_CURRENT_USER, program_path, KEY_ALL_ACCESS);
  set_bool(result, program_key && delete_tree(program_key.get(), section));
}

CORELIB_COMMAND(read_registry_text) { read_text_value(result, registry_place(argc, args), arg_at(argc, args, 2)); }
CORELIB_COMMAND(read_registry_int) { read_int_value(result, registry_place(argc, args), arg_at(argc, args, 2)); }
CORELIB_COMMAND(read_registry_bin) { read_bin_value(result, registry_place(argc, args), arg_at(argc, args, 2)); }

CORELIB_COMMAND(write_registry_value) {
  set_bool(result, *text_arg(argc, args, 1) && write_value(registry_place(argc, args), arg_at(argc, args, 2)));
}

// The value when the path names one, else the key the whole path names (only a key without
// subkeys: a path never takes a whole tree with it).
CORELIB_COMMAND(delete_registry_item) {
  std::string path = text_arg(argc, args, 1);
  if (path.empty()) return set_bool(result, false);
  ValuePlace at = registry_place(argc, args);
  if (value_exists(at)) return set_bool(result, delete_value(at));
  if (last_separator(path, false) == path.size() - 1) path.pop_back();
  set_bool(result, !path.empty() && RegDeleteKeyA(at.root, path.c_str()) == ERROR_SUCCESS);
}

CORELIB_COMMAND(registry_item_exists) {
  std::string path = text_arg(argc, args, 1);
  if (path.empty()) return set_bool(result, false);
  ValuePlace at = registry_place(argc, args);
  set_bool(result, value_exists(at) || open_key(at.root, path, KEY_QUERY_VALUE));
}

CORELIB_COMMAND(read_ini_value) {
  const char* file = skip_blanks(text_arg(argc, args, 0));
  const char* section = skip_blanks(text_arg(argc, args, 1));
  const char* name = skip_blanks(text_arg(argc, args, 2));
  if (!*file || !*section || !*name) return;
  std::string value(kIniValueMax + 1, '\0');
  DWORD n = GetPrivateProfileStringA(section, name, text_arg(argc, args, 3), value.data(),
                                     kIniValueMax + 1, file);
  set_text(result, std::string_view(value.data(), n));
}

// An omitted value deletes the name, an omitted name the whole section. An empty file,
// section or name is refused rather than read as "omitted".
CORELIB_COMMAND(write_ini_value) {
  const char* file = text_arg(argc, args, 0);
  const char* section = text_arg(argc, args, 1);
  bool has_name = given(argc, args, 2), has_value = given(argc, args, 3);
  const char* name = has_name ? text_arg(argc, args, 2) : nullptr;
  if (!*skip_blanks(file) || !*skip_blanks(section) || (name && !*skip_blanks(name)))
    return set_bool(result, false);
  const char* value = has_name && has_value ? text_arg(argc, args, 3) : nullptr;
  set_bool(result, WritePrivateProfileStringA(section, name, value, file) != 0);
}

CORELIB_COMMAND(ini_section_names) {
  const char* file = skip_blanks(text_arg(argc, args, 0));
  std::vector<std::string_view> names;
  std::string buffer;
  if (*file) {
    buffer.assign(kSectionNamesBuffer, '\0');
    DWORD n = GetPrivateProfileSectionNamesA(buffer.data(), kSectionNamesBuffer, file);
    for (size_t i = 0; i < n && buffer[i];) {
      std::string_view name(buffer.data() + i);
      names.push_back(name);
      i += name.size() + 1;
    }
  }
  set_text_array(result, names.data(), names.size());
}

CORELIB_COMMAND(system_version) {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  bool ok = GetVersionExA(&info);
#pragma GCC diagnostic pop
  int32_t line = 0;
  if (ok && info.dwPlatformId <= 2) line = static_cast<int32_t>(info.dwPlatformId) + 1;
  set_int(result, line);
}

}  // namespace corelib
