// Commands on open files addressed by file numbers: open, close, locks, positions, bytes,
// texts and lines, insert and delete. Every command first asks the runtime whether the number
// is a registered open file and otherwise does nothing and returns its failure value.
#include <windows.h>
#include <algorithm>
#include <cstring>
#include <string>
#include "corelib/cmd_support.h"
#include "corelib/commands.h"
#include "corelib/open_data.h"
#include "corelib/open_files.h"
#include "runtime/heap.h"

namespace corelib {

using namespace runtime;

namespace {

files::OpenFile* file_arg(int argc, ArgRecord* args) {
  return files::find(static_cast<uint32_t>(int_or(argc, args, 0, 0)));
}

bool printable(uint32_t type) {
  return is_numeric(type) || type == kTypeBool || type == kTypeDateTime || type == kTypeText;
}

// The values from argument `first` on as the text commands write them: each number, text,
// logical value or date-time as to text converts it; other kinds are skipped.
// The result is a buffer kept between calls (commands run on one thread), so that writing a
// line costs no allocation.
const std::string& values_as_text(int argc, ArgRecord* args, int first, bool lines) {
  static std::string out;
  if (out.capacity() > (1u << 20)) std::string().swap(out);  // a huge text does not stay held
  out.clear();
  for (int i = first; i < argc; ++i) {
    Arg value(args[i]);
    if (value.type() == kTypeText) {  // a text is its own conversion
      out += text_of(value.record());
      if (lines) out += "\r\n";
      continue;
    }
    if (!printable(value.type())) continue;
    ArgRecord record = value.record();
    ResultRecord converted{};
    to_text(&converted, 1, &record);
    char* text = reinterpret_cast<char*>(static_cast<uintptr_t>(converted.lo));
    if (text) out += text;
    free_block(text);
    if (lines) out += "\r\n";
  }
  return out;
}

std::string byte_sets(int argc, ArgRecord* args, int first) {
  std::string out;
  for (int i = first; i < argc; ++i) {
    Arg value(args[i]);
    if ((value.type() & kTypeMask) == kTypeBin) out += bin_of(value.record());
  }
  return out;
}

// A write command's bytes go to the file's buffer; a refused write leaves the position where
// it was.
bool write_all(files::OpenFile* f, const std::string& data) {
  int64_t start = f->position();
  if (f->write(data.data(), data.size())) return true;
  f->seek(start);
  return false;
}

// Moves the bytes from `from` to the end up or down to `to` in chunks of at most 4096 bytes,
// in the order that never overwrites bytes still to be moved.
// `moved`, when given, receives how many bytes reached their new place (a chunk whose write
// was refused counts as moved: its bytes are the old ones wherever they landed).
bool shift_tail(files::OpenFile* f, int64_t from, int64_t to, int64_t end, int64_t* moved = nullptr) {
  constexpr int64_t kChunk = 4096;
  std::string buf;
  int64_t n = end - from;
  if (moved) *moved = 0;
  if (n <= 0 || from == to) return true;
  for (int64_t done = 0; done < n;) {
    int64_t k = std::min(kChunk, n - done);
    int64_t src = to > from ? end - done - k : from + done;  // up: from the end; down: from the start
    buf.resize(static_cast<size_t>(k));
    size_t got = 0;
    if (!f->seek(src) || !f->read(buf.data(), buf.size(), &got) || got != buf.size()) return false;
    if (!f->seek(src + (to - from))) return false;
    if (moved) *moved = done + k;
    if (!f->write(buf.data(), buf.size())) return false;
    done += k;
  }
  return true;
}

// Inserts `data` at the position: the tail moves up first, then the data is written.
bool insert_at_position(files::OpenFile* f, const std::string& data) {
  int64_t pos = f->position(), end = f->length();
  if (pos < 0 || end < 0) return false;
  if (data.empty()) return true;
  const int64_t n = static_cast<int64_t>(data.size());
  int64_t moved = 0;
  bool ok = shift_tail(f, pos, pos + n, end, &moved) && f->seek(pos) && f->write(data.data(), data.size());
  if (!ok) {
    // The bytes that reached their new place (the last `moved` of the tail) go back down, the
    // rest never moved; what was added is cut: the old content is what stays.
    shift_tail(f, end - moved + n, end - moved, end + n);
    f->set_length(end);
    f->flush();
  }
  f->seek(ok ? pos + static_cast<int64_t>(data.size()) : pos);
  return ok;
}

}  // namespace

CORELIB_COMMAND(open_file) {  // 156
  files::OpenFile* f = files::open_plain(text_of(arg_at(argc, args, 0)), int_or(argc, args, 1, 3),
                                         int_or(argc, args, 2, 1));
  if (f) files::register_file(f);
  set_int(result, f ? static_cast<int32_t>(files::number_of(f)) : 0);
}

CORELIB_COMMAND(open_password_file) {  // 566
  const char* password = given(argc, args, 3) ? text_of(arg_at(argc, args, 3)) : "";
  int32_t start = int_or(argc, args, 4, 0);
  files::OpenFile* f =
      files::open_password(text_of(arg_at(argc, args, 0)), int_or(argc, args, 1, 3),
                           int_or(argc, args, 2, 1), password, static_cast<uint32_t>(std::max(start, 0)));
  if (f) files::register_file(f);
  set_int(result, f ? static_cast<int32_t>(files::number_of(f)) : 0);
}

CORELIB_COMMAND(read_data) {  // 171
  files::OpenFile* f = file_arg(argc, args);
  if (!f) return set_bool(result, false);
  int64_t start = f->position();
  bool ok = true;
  for (int i = 1; i < argc && ok; ++i) ok = data::read_into(f, args[i]);
  if (!ok) f->seek(start);
  set_bool(result, ok);
}

CORELIB_COMMAND(write_data) {  // 172
  files::OpenFile* f = file_arg(argc, args);
  if (!f) return set_bool(result, false);
  int64_t start = f->position();
  std::string out;
  bool ok = true;
  for (int i = 1; i < argc && ok; ++i) {
    Arg value(args[i]);
    ok = data::append_stored(value.record(), &out);
  }
  // Everything is built first, so a value that cannot be stored writes nothing at all.
  ok = ok && write_all(f, out);
  if (!ok) f->seek(start);
  set_bool(result, ok);
}

CORELIB_COMMAND(open_memory_file) {  // 157
  files::OpenFile* f = files::open_memory();
  if (f) files::register_file(f);
  set_int(result, f ? static_cast<int32_t>(files::number_of(f)) : 0);
}

CORELIB_COMMAND(close_file) {  // 158
  files::close_file(static_cast<uint32_t>(int_or(argc, args, 0, 0)));
  (void)result;
}

CORELIB_COMMAND(close_all_files) {  // 159
  files::close_all();
  (void)result, (void)argc, (void)args;
}

CORELIB_COMMAND(lock_file_region) {  // 160
  files::OpenFile* f = file_arg(argc, args);
  if (!f) return set_bool(result, false);
  int64_t offset = int_or(argc, args, 1, 0), length = int_or(argc, args, 2, 0);
  int32_t retry = int_or(argc, args, 3, 0);
  if (length == 0) return set_bool(result, true);
  if (offset < 0 || length < 0) return set_bool(result, false);
  DWORD first = GetTickCount();
  for (;;) {
    bool conflict = false;
    if (f->lock(static_cast<uint64_t>(offset), static_cast<uint64_t>(length), &conflict)) return set_bool(result, true);
    if (!conflict || retry == 0) return set_bool(result, false);
    if (retry > 0 && GetTickCount() - first >= static_cast<DWORD>(retry)) return set_bool(result, false);
    Sleep(10);
  }
}

CORELIB_COMMAND(unlock_file_region) {  // 161
  files::OpenFile* f = file_arg(argc, args);
  if (!f) return set_bool(result, false);
  int64_t offset = int_or(argc, args, 1, 0), length = int_or(argc, args, 2, 0);
  if (length == 0) return set_bool(result, true);
  set_bool(result, offset >= 0 && length > 0 && f->unlock(static_cast<uint64_t>(offset), static_cast<uint64_t>(length)));
}

CORELIB_COMMAND(move_file_position) {  // 162
  files::OpenFile* f = file_arg(argc, args);
  if (!f) return set_bool(result, false);
  int origin = int_or(argc, args, 1, 1);
  int64_t offset = int_or(argc, args, 2, 0);
  int64_t base = origin == 2 ? f->length() : origin == 3 ? f->position() : 0;
  set_bool(result, base >= 0 && f->seek(base + offset));
}

CORELIB_COMMAND(move_to_file_start) {  // 163
  files::OpenFile* f = file_arg(argc, args);
  set_bool(result, f && f->seek(0));
}

CORELIB_COMMAND(move_to_file_end) {  // 164
  files::OpenFile* f = file_arg(argc, args);
  int64_t end = f ? f->length() : -1;
  set_bool(result, end >= 0 && f->seek(end));
}

CORELIB_COMMAND(read_bytes) {  // 165
  files::OpenFile* f = file_arg(argc, args);
  int32_t count = int_or(argc, args, 1, 0);
  if (!f || count <= 0) return;
  // A large count is cut to what the file holds before anything is allocated; a small one
  // needs no length query.
  int64_t left = count <= 65536 ? count : f->length() - f->position();
  std::string buf(static_cast<size_t>(std::max<int64_t>(0, std::min<int64_t>(count, left))), '\0');
  size_t got = 0;
  if (!f->read(buf.data(), buf.size(), &got)) {
    f->seek(std::max<int64_t>(f->length(), 0));
    return;
  }
  buf.resize(got);
  set_bin(result, buf);
}

CORELIB_COMMAND(write_bytes) {  // 166
  files::OpenFile* f = file_arg(argc, args);
  std::string data = byte_sets(argc, args, 1);
  set_bool(result, f && write_all(f, data));
}

CORELIB_COMMAND(read_text) {  // 167
  files::OpenFile* f = file_arg(argc, args);
  if (!f) return;
  int64_t start = f->position(), length = f->length();
  int64_t max = given(argc, args, 1) ? int_or(argc, args, 1, 0) : length;
  int64_t left = std::max<int64_t>(0, std::min(max, length - start));
  std::string buf(static_cast<size_t>(left), '\0');
  size_t got = 0;
  if (!f->read(buf.data(), buf.size(), &got)) {
    f->seek(std::max<int64_t>(length, 0));
    return;
  }
  buf.resize(got);
  // The text ends at a zero byte or 0x1A; a lead byte cut off by the maximum is left out for
  // the next read. One that is the file's last byte is taken: leaving it would leave the
  // position short of the end for good, and a read loop would never finish.
  size_t end = 0;
  bool to_file_end = start + static_cast<int64_t>(buf.size()) >= length;
  while (end < buf.size()) {
    unsigned char c = static_cast<unsigned char>(buf[end]);
    if (c == 0 || c == 0x1A) break;
    if (c >= 0x81) {
      if (end + 1 >= buf.size()) {
        if (to_file_end) ++end;
        break;
      }
      end += 2;
    } else {
      ++end;
    }
  }
  buf.resize(std::min(end, buf.size()));
  f->seek(start + static_cast<int64_t>(buf.size()));
  set_text(result, buf);
}

CORELIB_COMMAND(write_text) {  // 168
  files::OpenFile* f = file_arg(argc, args);
  const std::string& text = values_as_text(argc, args, 1, false);
  set_bool(result, f && write_all(f, text));
}

// The line at the position when it lies whole in the bytes the file has at hand (the common
// case): no copy into chunks. False when it does not; the chunked reading below then runs.
bool line_at_hand(files::OpenFile* f, ResultRecord* result) {
  const char* data;
  size_t n, i = 0;
  if (!f->peek(&data, &n) || n == 0) return false;
  for (;;) {
    if (i >= n) return false;
    unsigned char c = static_cast<unsigned char>(data[i]);
    if (c == '\n' || c == 0 || c == 0x1A) break;
    if (c < 0x81) ++i;
    else if (i + 1 < n) i += 2;  // a double-byte character stays whole
    else return false;           // it goes on beyond the bytes at hand
  }
  size_t length = i;
  if (length > 0 && data[length - 1] == '\r') --length;
  int64_t next = f->position() + static_cast<int64_t>(i) + (data[i] == '\n' ? 1 : 0);
  set_text(result, std::string_view(data, length));
  f->seek(next);
  return true;
}

CORELIB_COMMAND(read_line) {  // 169
  files::OpenFile* f = file_arg(argc, args);
  if (!f || line_at_hand(f, result)) return;
  constexpr size_t kChunk = 512;
  char chunk[kChunk];
  static std::string line;  // kept between calls: a line costs no allocation of its own
  if (line.capacity() > (1u << 20)) std::string().swap(line);
  line.clear();
  int64_t pos = f->position();
  for (bool done = false; !done;) {
    size_t got = 0, i = 0;
    if (!f->seek(pos) || !f->read(chunk, kChunk, &got) || got == 0) break;
    while (i < got) {
      unsigned char c = static_cast<unsigned char>(chunk[i]);
      if (c == '\n' || c == 0 || c == 0x1A) {
        done = true;
        break;
      }
      if (c < 0x81) {
        ++i;
      } else if (i + 1 < got) {
        i += 2;  // a double-byte character stays whole
      } else if (got == kChunk) {
        break;  // the character goes on in the next chunk: read it again from its lead byte
      } else {
        ++i;  // a lead byte at the end of the file
      }
    }
    line.append(chunk, i);
    // Past a line feed; at a zero byte or 0x1A.
    pos += static_cast<int64_t>(i) + (done && chunk[i] == '\n' ? 1 : 0);
    if (got < kChunk) break;  // the end of the file
  }
  f->seek(pos);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  set_text(result, line);
}

CORELIB_COMMAND(write_lines) {  // 170
  files::OpenFile* f = file_arg(argc, args);
  if (f && argc == 2 && args[1].type == kTypeText) {  // one text, the common case: no staging copy
    const char* text = text_of(args[1]);
    int64_t start = f->position();
    bool ok = f->write(text, strlen(text)) && f->write("\r\n", 2);
    if (!ok) f->seek(start);
    return set_bool(result, ok);
  }
  const std::string& text = values_as_text(argc, args, 1, true);
  set_bool(result, f && write_all(f, text));
}

CORELIB_COMMAND(at_file_end) {  // 173
  files::OpenFile* f = file_arg(argc, args);
  if (!f) return set_bool(result, true);
  const char* data;
  size_t n;
  if (f->peek(&data, &n) && n > 0) {  // bytes at hand: not at the end, no length query
    bool text_mode = int_or(argc, args, 1, 0) == 1;
    return set_bool(result, text_mode && (data[0] == 0 || data[0] == 0x1A));
  }
  int64_t pos = f->position(), length = f->length();
  if (pos >= length) return set_bool(result, true);
  if (int_or(argc, args, 1, 0) != 1) return set_bool(result, false);
  char c = 0;
  size_t got = 0;
  bool read = f->read(&c, 1, &got) && got == 1;
  f->seek(pos);
  set_bool(result, read && (c == 0 || c == 0x1A));
}

CORELIB_COMMAND(file_position) {  // 174
  files::OpenFile* f = file_arg(argc, args);
  set_int(result, f ? static_cast<int32_t>(f->position()) : -1);
}

CORELIB_COMMAND(file_length) {  // 175
  files::OpenFile* f = file_arg(argc, args);
  set_int(result, f ? static_cast<int32_t>(f->length()) : -1);
}

CORELIB_COMMAND(insert_bytes) {  // 418
  files::OpenFile* f = file_arg(argc, args);
  set_bool(result, f && insert_at_position(f, byte_sets(argc, args, 1)));
}

CORELIB_COMMAND(insert_text) {  // 419
  files::OpenFile* f = file_arg(argc, args);
  set_bool(result, f && insert_at_position(f, values_as_text(argc, args, 1, false)));
}

CORELIB_COMMAND(insert_lines) {  // 420
  files::OpenFile* f = file_arg(argc, args);
  set_bool(result, f && insert_at_position(f, values_as_text(argc, args, 1, true)));
}

CORELIB_COMMAND(delete_bytes) {  // 421
  files::OpenFile* f = file_arg(argc, args);
  int32_t count = int_or(argc, args, 1, 0);
  if (!f) return set_bool(result, false);
  int64_t pos = f->position(), end = f->length();
  if (pos < 0 || end < 0 || count < 0) return set_bool(result, false);
  int64_t n = std::min<int64_t>(count, end - pos);
  if (n <= 0) return set_bool(result, f->seek(pos));
  // Moving the tail down overwrites the deleted bytes: they are kept first, so that a failure
  // part way can put the old content back.
  std::string deleted;
  size_t got = 0;
  try {
    deleted.resize(static_cast<size_t>(n));
  } catch (const std::exception&) {
    return set_bool(result, false);
  }
  bool ok = f->seek(pos) && f->read(deleted.data(), deleted.size(), &got) && got == deleted.size();
  if (!ok) {
    f->seek(pos);
    return set_bool(result, false);
  }
  int64_t moved = 0;
  ok = shift_tail(f, pos + n, pos, end, &moved) && f->set_length(end - n);
  if (!ok) {
    // The moved bytes go back up (the tail beyond them was never touched), then the deleted
    // bytes return to their place.
    shift_tail(f, pos, pos + n, pos + moved);
    f->seek(pos);
    f->write(deleted.data(), deleted.size());
    f->set_length(end);
    f->flush();
  }
  f->seek(pos);
  set_bool(result, ok);
}

}  // namespace corelib
