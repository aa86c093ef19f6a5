// Drive, directory and whole-file commands: disk space and labels, the current drive and
// directory, copying, moving, deleting and renaming, file times, sizes and attributes,
// temporary names, and reading or writing a whole file at once. Every platform failure comes
// back as the command's failure result.
#include <windows.h>
#include <cstring>
#include <string>
#include <string_view>
#include "corelib/cmd_support.h"
#include "corelib/commands.h"
#include "corelib/gbk_path.h"
#include "framework/gdi.h"
#include "runtime/crt.h"
#include "runtime/heap.h"

namespace corelib {

using namespace runtime;

namespace {

using FileHandle = framework::KernelHandle;
using framework::FindHandle;
HANDLE or_null(HANDLE h) { return framework::valid_or_null(h); }

const char* text_arg(int argc, ArgRecord* args, int i) { return text_of(arg_at(argc, args, i)); }

// The root "X:\" named by a drive letter argument; empty when the argument is omitted or its
// first character is no letter, which means the current drive.
std::string drive_root(int argc, ArgRecord* args, int i) {
  char c = text_arg(argc, args, i)[0];
  if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  if (c < 'A' || c > 'Z') return {};
  return std::string(1, c) + ":\\";
}
const char* root_or_current(const std::string& root) { return root.empty() ? nullptr : root.c_str(); }

// Kilobytes as the low 32 bits of bytes / 1024.
int32_t kilobytes(ULARGE_INTEGER bytes) { return static_cast<int32_t>(bytes.QuadPart / 1024); }

// Identity of an existing file (volume and index), to tell two names of one file apart from
// two files.
bool same_file(const char* a, const char* b) {
  auto id = [](const char* path, BY_HANDLE_FILE_INFORMATION* info) {
    FileHandle h(or_null(CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)));
    return h && GetFileInformationByHandle(h.get(), info);
  };
  BY_HANDLE_FILE_INFORMATION x, y;
  return id(a, &x) && id(b, &y) && x.dwVolumeSerialNumber == y.dwVolumeSerialNumber &&
         x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
}

bool file_data(const char* path, WIN32_FILE_ATTRIBUTE_DATA* data) {
  return *path && GetFileAttributesExA(path, GetFileExInfoStandard, data);
}

// The folder part of a path for a file beside it: up to the last separator, or "." for a
// bare name.
std::string folder_of(std::string_view path) {
  size_t at = last_separator(path, true);
  if (at == std::string_view::npos)  // "X:name" lies in drive X's current folder
    return path.size() > 2 && path[1] == ':' ? std::string(path.substr(0, 2)) : ".";
  if (at == 0 || (at == 2 && path[1] == ':')) return std::string(path.substr(0, at + 1));
  return std::string(path.substr(0, at));
}

// A new empty file beside `path` (same folder, so on the same volume) to build a content in
// before it takes the name; empty when none can be made.
std::string new_file_beside(const char* path) {
  char temp[MAX_PATH + 1];
  if (!GetTempFileNameA(folder_of(path).c_str(), "~wr", 0, temp)) return {};
  return temp;
}

void discard(const std::string& file) {
  SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(file.c_str());
}

// A target name a copy may take: free, or a file that is not read-only. (The platform's
// replace refuses read-only files on some systems and not on others; this makes it one rule.)
bool replaceable(const char* to) {
  DWORD a = GetFileAttributesA(to);
  return a == INVALID_FILE_ATTRIBUTES ||
         !(a & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY));
}

// A copy of `from` in a new file beside `to`; its name, or empty when the copy failed.
std::string copy_beside(const char* from, const char* to) {
  std::string copy = new_file_beside(to);
  if (!copy.empty() && !CopyFileA(from, copy.c_str(), FALSE)) {
    discard(copy);
    copy.clear();
  }
  return copy;
}

// The copy is made beside the target and then takes its name, so a copy that fails half-way
// leaves the old target whole. Copying a file onto itself (or onto another name of it) fails.
bool copy_over(const char* from, const char* to) {
  if (!*from || !*to || !replaceable(to) || same_file(from, to)) return false;
  std::string copy = copy_beside(from, to);
  if (copy.empty()) return false;
  if (MoveFileExA(copy.c_str(), to, MOVEFILE_REPLACE_EXISTING)) return true;
  discard(copy);
  return false;
}

bool write_all(HANDLE h, std::string_view data) {
  while (!data.empty()) {
    DWORD chunk = static_cast<DWORD>(data.size() > 0x100000 ? 0x100000 : data.size()), done = 0;
    if (!WriteFile(h, data.data(), chunk, &done, nullptr) || done == 0) return false;
    data.remove_prefix(done);
  }
  return true;
}

// The byte-set arguments from `first` on written to a new file; false when any write fails.
bool write_byte_sets(const char* path, int argc, ArgRecord* args, int first) {
  FileHandle h(or_null(CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr)));
  if (!h) return false;
  for (int i = first; i < argc; ++i) {
    Arg a(args[i]);
    if (a.type() == kTypeBin && !write_all(h.get(), bin_of(a.record()))) return false;
  }
  return FlushFileBuffers(h.get()) != 0;
}

uint32_t temp_counter = 0;  // grows by one per temporary name: two calls never share a start

}  // namespace

CORELIB_COMMAND(disk_total_space) {
  std::string root = drive_root(argc, args, 0);
  ULARGE_INTEGER avail, total, free;
  bool ok = GetDiskFreeSpaceExA(root_or_current(root), &avail, &total, &free);
  set_int(result, ok ? kilobytes(total) : -1);
}

// The space this process may still use (quotas included).
CORELIB_COMMAND(disk_free_space) {
  std::string root = drive_root(argc, args, 0);
  ULARGE_INTEGER avail, total, free;
  bool ok = GetDiskFreeSpaceExA(root_or_current(root), &avail, &total, &free);
  set_int(result, ok ? kilobytes(avail) : -1);
}

CORELIB_COMMAND(volume_label) {
  std::string root = drive_root(argc, args, 0);
  char label[MAX_PATH + 1] = {};
  if (GetVolumeInformationA(root_or_current(root), label, sizeof label, nullptr, nullptr, nullptr,
                            nullptr, 0))
    set_text(result, label);
}

CORELIB_COMMAND(set_volume_label) {
  std::string root = drive_root(argc, args, 0);
  set_bool(result, SetVolumeLabelA(root_or_current(root), text_arg(argc, args, 1)) != 0);
}

// "X:" goes to that drive's own current directory (its root when it has none yet).
CORELIB_COMMAND(change_drive) {
  std::string root = drive_root(argc, args, 0);
  set_bool(result, root.empty() || SetCurrentDirectoryA(root.substr(0, 2).c_str()) != 0);
}

CORELIB_COMMAND(change_directory) {
  const char* path = text_arg(argc, args, 0);
  set_bool(result, *path && SetCurrentDirectoryA(path));
}

CORELIB_COMMAND(current_directory) {
  std::string dir(MAX_PATH, '\0');
  DWORD n = GetCurrentDirectoryA(static_cast<DWORD>(dir.size()), dir.data());
  if (n >= dir.size()) {  // too small: n is the size needed
    dir.resize(n);
    n = GetCurrentDirectoryA(n, dir.data());
    if (n >= dir.size()) n = 0;
  }
  if (n) set_text(result, std::string_view(dir.data(), n));
}

CORELIB_COMMAND(create_directory) {
  const char* path = text_arg(argc, args, 0);
  set_bool(result, *path && CreateDirectoryA(path, nullptr));
}

// The platform removes only empty directories.
CORELIB_COMMAND(remove_directory) {
  const char* path = text_arg(argc, args, 0);
  set_bool(result, *path && RemoveDirectoryA(path));
}

CORELIB_COMMAND(copy_file) {
  set_bool(result, copy_over(text_arg(argc, args, 0), text_arg(argc, args, 1)));
}

// The platform's move renames on one volume and never overwrites. When it fails (another
// volume, an existing target), the source is copied to a new file beside the target and
// deleted, and only then does the copy take the target's name. So a source that cannot be
// deleted leaves both files as they were, and a target that cannot be replaced gets the
// content back under the source's name; no step loses the only copy. Two names of one file
// are never copied onto each other.
CORELIB_COMMAND(move_file) {
  const char* from = text_arg(argc, args, 0);
  const char* to = text_arg(argc, args, 1);
  if (!*from || !*to) return set_bool(result, false);
  if (MoveFileA(from, to)) return set_bool(result, true);
  if (!replaceable(to) || same_file(from, to)) return set_bool(result, false);
  std::string copy = copy_beside(from, to);
  if (copy.empty()) return set_bool(result, false);
  if (!DeleteFileA(from)) {
    discard(copy);
    return set_bool(result, false);
  }
  if (MoveFileExA(copy.c_str(), to, MOVEFILE_REPLACE_EXISTING)) return set_bool(result, true);
  MoveFileExA(copy.c_str(), from, MOVEFILE_COPY_ALLOWED);  // on failure the copy stays put
  set_bool(result, false);
}

CORELIB_COMMAND(delete_file) {
  const char* path = text_arg(argc, args, 0);
  set_bool(result, *path && DeleteFileA(path));
}

CORELIB_COMMAND(rename_file) {
  const char* from = text_arg(argc, args, 0);
  const char* to = text_arg(argc, args, 1);
  set_bool(result, *from && *to && MoveFileA(from, to));
}

CORELIB_COMMAND(file_exists) {
  const char* pattern = text_arg(argc, args, 0);
  WIN32_FIND_DATAA found;
  FindHandle h(*pattern ? or_null(FindFirstFileA(pattern, &found)) : nullptr);
  set_bool(result, static_cast<bool>(h));
}

CORELIB_COMMAND(file_time) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  FILETIME local;
  SYSTEMTIME st;
  if (!file_data(text_arg(argc, args, 0), &data) ||
      !FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) || !FileTimeToSystemTime(&local, &st))
    return set_double(result, dates::kMin);
  int y = st.wYear, mo = st.wMonth, d = st.wDay, h = st.wHour, mi = st.wMinute, s = st.wSecond;
  dates::clamp_parts(y, mo, d, h, mi, s);
  set_double(result, dates::make(y, mo, d, h, mi, s));
}

// A directory has no size of its own: it counts as no file.
CORELIB_COMMAND(file_size) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  bool ok = file_data(text_arg(argc, args, 0), &data) &&
            !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  set_int(result, ok ? static_cast<int32_t>(data.nFileSizeLow) : -1);
}

CORELIB_COMMAND(file_attributes) {
  const char* path = text_arg(argc, args, 0);
  DWORD a = *path ? GetFileAttributesA(path) : INVALID_FILE_ATTRIBUTES;
  set_int(result, a == INVALID_FILE_ATTRIBUTES ? -1 : static_cast<int32_t>(a & 0x37));
}

CORELIB_COMMAND(set_file_attributes) {
  const char* path = text_arg(argc, args, 0);
  DWORD bits = static_cast<DWORD>(int_or(argc, args, 1, 0)) & 0x27;
  set_bool(result, *path && SetFileAttributesA(path, bits ? bits : FILE_ATTRIBUTE_NORMAL));
}

CORELIB_COMMAND(temporary_file_name) {
  std::string dir = text_arg(argc, args, 0);
  if (dir.empty()) {
    char temp[MAX_PATH + 1];
    DWORD n = GetTempPathA(sizeof temp, temp);
    if (n > 0 && n < sizeof temp) dir.assign(temp, n);
  }
  if (!dir.empty() && last_separator(dir, false) != dir.size() - 1) dir += '\\';
  uint32_t n = GetTickCount() + temp_counter++;
  std::string name;
  for (;;) {
    name = dir + crt_format("%x.tmp", n++);
    if (GetFileAttributesA(name.c_str()) == INVALID_FILE_ATTRIBUTES) break;
  }
  set_text(result, name);
}

// The whole content as one byte set; the block is filled straight from the file. A file that
// shrinks while being read gives what was there.
CORELIB_COMMAND(read_whole_file) {
  const char* path = text_arg(argc, args, 0);
  if (!*path) return;
  FileHandle h(or_null(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)));
  LARGE_INTEGER size;
  if (!h || !GetFileSizeEx(h.get(), &size) || size.QuadPart <= 0 || size.QuadPart > 0x7FFFFFF0)
    return;
  auto length = static_cast<uint32_t>(size.QuadPart);
  auto* block = static_cast<BinHeader*>(allocate_or_null(sizeof(BinHeader) + length));
  if (!block) return;
  auto* bytes = reinterpret_cast<char*>(block + 1);
  uint32_t got = 0;
  while (got < length) {
    DWORD done = 0;
    DWORD chunk = length - got > 0x100000 ? 0x100000 : length - got;
    if (!ReadFile(h.get(), bytes + got, chunk, &done, nullptr)) {
      free_block(block);
      return;
    }
    if (done == 0) break;
    got += done;
  }
  if (got == 0) {
    free_block(block);
    return;
  }
  block->dims = 1;
  block->length = got;
  result->lo = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(block));
}

// The content goes to a new file beside the target, which then replaces the target: a write
// that fails half-way leaves the old file as it was, never a truncated one.
CORELIB_COMMAND(write_whole_file) {
  const char* path = text_arg(argc, args, 0);
  if (!*path) return set_bool(result, false);
  if (!replaceable(path)) return set_bool(result, false);
  DWORD old_attributes = GetFileAttributesA(path);
  std::string temp = new_file_beside(path);
  if (temp.empty()) return set_bool(result, false);
  bool ok = write_byte_sets(temp.c_str(), argc, args, 1);
  if (ok && old_attributes != INVALID_FILE_ATTRIBUTES)
    SetFileAttributesA(temp.c_str(), old_attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                                       FILE_ATTRIBUTE_ARCHIVE));
  ok = ok && MoveFileExA(temp.c_str(), path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  if (!ok) discard(temp);
  set_bool(result, ok);
}

}  // namespace corelib
