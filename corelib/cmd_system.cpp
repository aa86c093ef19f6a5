// System commands: environment variables, the command line, the program's directory and file
// name, running other programs, the console streams, the clipboard and screen figures.
// Every platform failure comes back as the command's failure result.
#include <windows.h>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>
#include "corelib/cmd_support.h"
#include "corelib/commands.h"
#include "framework/gdi.h"
#include "runtime/heap.h"
#include "runtime/notify.h"
#include "runtime/runtime.h"

namespace corelib {

using namespace runtime;

namespace {

using framework::KernelHandle;
KernelHandle own(HANDLE h) { return KernelHandle(framework::valid_or_null(h)); }

bool usable(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
bool lead_byte(char c) { return static_cast<unsigned char>(c) >= 0x81; }
bool separator(char c) { return static_cast<unsigned char>(c) <= ' '; }

// A text argument, sub-statements evaluated; read while the Arg lives.
std::string text_arg(int argc, ArgRecord* args, int i) {
  Arg a(arg_at(argc, args, i));
  return text_of(a.record());
}

std::string directory_of(const std::string& path) { return path.substr(0, path.rfind('\\')); }

std::string own_module_path() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  return std::string(path, n < MAX_PATH ? n : 0);
}

// ---- Command line ---------------------------------------------------------------------------

// The end of the item starting at i: a quoted item runs to its closing quote, any other to
// the next separator. Double-byte characters are stepped over whole.
size_t item_end(std::string_view line, size_t i, bool quoted) {
  while (i < line.size()) {
    char c = line[i];
    if (quoted ? c == '"' : separator(c)) break;
    i += lead_byte(c) && i + 1 < line.size() ? 2 : 1;
  }
  return i;
}

// The items of a command line after the program path.
std::vector<std::string> command_line_items(std::string_view line) {
  std::vector<std::string> items;
  size_t i = 0;
  bool first = true;
  while (true) {
    while (i < line.size() && separator(line[i])) ++i;
    if (i >= line.size()) break;
    bool quoted = line[i] == '"';
    if (quoted) ++i;
    size_t end = item_end(line, i, quoted);
    if (!first) items.emplace_back(line.substr(i, end - i));
    first = false;
    i = end < line.size() && quoted ? end + 1 : end;  // past the closing quote
  }
  return items;
}

// A by-reference text array: the variable's address, or null for anything else (a plain
// value must never be written through).
void** text_array_variable(const ArgRecord& a) {
  uint32_t type = a.type;
  if ((type & 0xC0000000u) == kVariableMark) type = (type & 0x3FFFFFFFu) | 0x80000000u;
  if (type != (kTypeText | kArrayBit) || a.lo == 0) return nullptr;
  return reinterpret_cast<void**>(static_cast<uintptr_t>(a.lo));
}

// ---- Run program ----------------------------------------------------------------------------

// Window states 1..6 as show commands; values out of range count as the nearest end.
WORD show_command(int32_t state) {
  static const WORD kShow[6] = {SW_HIDE,          SW_SHOWNORMAL,     SW_SHOWMINIMIZED,
                                SW_SHOWMAXIMIZED, SW_SHOWNOACTIVATE, SW_MINIMIZE};
  if (state < 1) state = 1;
  if (state > 6) state = 6;
  return kShow[state - 1];
}

// ---- Console streams ------------------------------------------------------------------------

// The console of the parent process, attached once on first need, with its input and output
// devices open for the rest of the process.
class ParentConsole {
 public:
  HANDLE input() { return attach() ? in_.get() : nullptr; }
  HANDLE output() { return attach() ? out_.get() : nullptr; }

 private:
  bool attach() {
    if (!tried_) {
      tried_ = true;
      // A process that already has a console keeps it; otherwise take the parent's.
      if (GetConsoleWindow() || AttachConsole(ATTACH_PARENT_PROCESS)) {
        in_ = own(CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
        out_ = own(CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
      }
    }
    return in_ || out_;
  }
  bool tried_ = false;
  KernelHandle in_, out_;
};

ParentConsole& parent_console() {
  static ParentConsole console;
  return console;
}

// A handle value the process really holds. A GUI program may be handed its parent's standard
// handle values without the handles themselves; those must not hide the parent's console.
bool open_handle(HANDLE h) {
  if (!usable(h)) return false;
  SetLastError(NO_ERROR);
  return GetFileType(h) != FILE_TYPE_UNKNOWN || GetLastError() == NO_ERROR;
}

// A standard stream: the process's own handle when it was given one (redirected to a file or
// pipe, or a console program's), else the parent's console; null when there is neither.
HANDLE standard_stream(DWORD which) {
  HANDLE h = GetStdHandle(which);
  if (open_handle(h)) return h;
  return which == STD_INPUT_HANDLE ? parent_console().input() : parent_console().output();
}

bool write_all(HANDLE h, std::string_view bytes) {
  while (!bytes.empty()) {
    DWORD done = 0;
    if (!WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) || done == 0)
      return false;
    bytes.remove_prefix(done);
  }
  return true;
}

// Kinds written by standard output: those to text converts.
bool printable(uint32_t type) {
  return is_numeric(type) || type == kTypeBool || type == kTypeDateTime || type == kTypeText;
}

constexpr DWORD kLineMax = 2048;     // bytes of one echoed line
constexpr DWORD kSilentMax = 2049;   // characters read without echo

// Sets a console input mode for one read and restores the old one afterwards.
class ConsoleModeScope {
 public:
  ConsoleModeScope(HANDLE h, DWORD mode) : h_(h) {
    if (GetConsoleMode(h, &old_)) active_ = SetConsoleMode(h, mode) != 0;
  }
  ~ConsoleModeScope() {
    if (active_) SetConsoleMode(h_, old_);
  }
  ConsoleModeScope(const ConsoleModeScope&) = delete;
  ConsoleModeScope& operator=(const ConsoleModeScope&) = delete;

 private:
  HANDLE h_;
  DWORD old_ = 0;
  bool active_ = false;
};

bool is_console(HANDLE h) {
  DWORD mode;
  return GetConsoleMode(h, &mode) != 0;
}

// Texts are in the program's code page; a console may be set to another one, so console
// devices are read and written in UTF-16 and converted here.
std::wstring to_wide(std::string_view text) {
  std::wstring wide(text.size(), L'\0');
  wide.resize(MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                  wide.data(), static_cast<int>(wide.size())));
  return wide;
}

std::string from_wide(std::wstring_view wide) {
  std::string text(wide.size() * 2, '\0');
  text.resize(WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()),
                                  text.data(), static_cast<int>(text.size()), nullptr, nullptr));
  return text;
}

bool write_stream(HANDLE h, std::string_view bytes) {
  if (!is_console(h)) return write_all(h, bytes);
  std::wstring wide = to_wide(bytes);
  std::wstring_view rest(wide);
  while (!rest.empty()) {
    DWORD done = 0;
    if (!WriteConsoleW(h, rest.data(), static_cast<DWORD>(rest.size()), &done, nullptr) || done == 0)
      return false;
    rest.remove_prefix(done);
  }
  return true;
}

// One line with echo: the console's line editing, or bytes up to and including a line feed
// from a file or pipe (one at a time, so nothing past the line is consumed).
std::string read_echoed_line(HANDLE h) {
  std::string line;
  if (is_console(h)) {
    ConsoleModeScope mode(h, ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT | ENABLE_PROCESSED_INPUT);
    // The first read waits for the whole line; further reads take the rest of it. Each read
    // asks for no more characters than can still fit in double-byte form, so the limit never
    // cuts a character and what does not fit stays for the next line.
    wchar_t buffer[kLineMax / 2];
    for (;;) {
      DWORD want = (kLineMax - static_cast<DWORD>(line.size())) / 2, n = 0;
      if (want == 0 || !ReadConsoleW(h, buffer, want, &n, nullptr) || n == 0) break;
      line += from_wide(std::wstring_view(buffer, n));
      if (n < want || buffer[n - 1] == L'\n') break;
    }
    return line;
  }
  char c;
  DWORD n = 0;
  while (line.size() < kLineMax && ReadFile(h, &c, 1, &n, nullptr) && n == 1) {
    line += c;
    if (c == '\n') break;
  }
  return line;
}

// Characters one by one without echo, until a carriage return (not kept) or the limit. A
// console gives whole characters; a file or pipe gives bytes.
std::string read_silent(HANDLE h) {
  std::string text;
  if (is_console(h)) {
    ConsoleModeScope mode(h, ENABLE_PROCESSED_INPUT);  // no line editing, no echo
    wchar_t c;
    DWORD n = 0;
    for (DWORD count = 0; count < kSilentMax && ReadConsoleW(h, &c, 1, &n, nullptr) && n == 1 && c != L'\r';
         ++count)
      text += from_wide(std::wstring_view(&c, 1));
    return text;
  }
  char c;
  DWORD n = 0;
  while (text.size() < kSilentMax && ReadFile(h, &c, 1, &n, nullptr) && n == 1 && c != '\r') text += c;
  return text;
}

// ---- Clipboard ------------------------------------------------------------------------------

// A window to own the clipboard: the runtime's hidden window, or a message-only window of our
// own when there is none (with no owner, the platform refuses clipboard data).
HWND clipboard_owner() {
  if (HWND hidden = rt().hidden_window; hidden && IsWindow(hidden)) return hidden;
  static HWND own_window = nullptr;
  if (!own_window || !IsWindow(own_window))
    own_window = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
  return own_window;
}

// The clipboard, open for one block. Another program may hold it for a moment: a few short
// retries.
class ClipboardScope {
 public:
  ClipboardScope() {
    HWND owner = clipboard_owner();
    for (int attempt = 0; attempt < 10 && !open_; ++attempt) {
      open_ = OpenClipboard(owner) != 0;
      if (!open_) Sleep(10);
    }
  }
  ~ClipboardScope() {
    if (open_) CloseClipboard();
  }
  ClipboardScope(const ClipboardScope&) = delete;
  ClipboardScope& operator=(const ClipboardScope&) = delete;
  bool open() const { return open_; }

 private:
  bool open_ = false;
};

}  // namespace

// ---- Environment ----------------------------------------------------------------------------

CORELIB_COMMAND(read_environment) {
  std::string name = text_arg(argc, args, 0);
  if (name.empty() || name.find('=') != std::string::npos) return;
  if (const char* value = std::getenv(name.c_str())) set_text(result, value);
}

// A name that is empty or holds "=" would make the C library remove or set another variable.
CORELIB_COMMAND(write_environment) {
  std::string name = text_arg(argc, args, 0);
  if (name.empty() || name.find('=') != std::string::npos) {
    set_bool(result, false);
    return;
  }
  std::string value = text_arg(argc, args, 1);
  std::string entry = name + "=" + value;
  // The C library's copy is what read environment variable sees; the process environment is
  // what started programs inherit, set here directly so that double-byte texts arrive whole.
  // An empty value removes the variable: done once it is gone, whether or not it was there.
  bool stored = _putenv(entry.c_str()) == 0 &&
                (value.empty() ? SetEnvironmentVariableA(name.c_str(), nullptr) ||
                                     GetEnvironmentVariableA(name.c_str(), nullptr, 0) == 0
                               : SetEnvironmentVariableA(name.c_str(), value.c_str()));
  set_bool(result, stored);
}

// ---- Program --------------------------------------------------------------------------------

CORELIB_COMMAND(command_line) {
  void** variable = text_array_variable(arg_at(argc, args, 0));
  if (!variable) return;
  std::vector<std::string> items = command_line_items(GetCommandLineA());
  std::vector<std::string_view> views(items.begin(), items.end());
  ResultRecord array{};
  set_text_array(&array, views.data(), views.size());
  notify(2023, kTypeText | kArrayBit, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(*variable)));
  *variable = reinterpret_cast<void*>(static_cast<uintptr_t>(array.lo));
}

// The program's directory and file name as start-up recorded them; before that (a process
// that prepared no image) those of the executable itself.
CORELIB_COMMAND(run_directory) {
  const std::string& dir = rt().program_dir;
  set_text(result, dir.empty() ? directory_of(own_module_path()) : dir);
}

CORELIB_COMMAND(executable_file_name) {
  const std::string& file = rt().program_file;
  if (!file.empty()) {
    set_text(result, file);
    return;
  }
  std::string path = own_module_path();
  set_text(result, path.substr(path.rfind('\\') + 1));
}

CORELIB_COMMAND(run_program) {
  std::string line = text_arg(argc, args, 0);
  bool wait = bool_or(argc, args, 1, false);
  int32_t state = int_or(argc, args, 2, 2);
  set_bool(result, false);
  if (line.empty()) return;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = show_command(state);
  PROCESS_INFORMATION info{};
  // The platform may write into the command line: hand it a private copy.
  std::vector<char> writable(line.begin(), line.end());
  writable.push_back('\0');
  if (!CreateProcessA(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info))
    return;
  KernelHandle process(info.hProcess), thread(info.hThread);
  if (wait) WaitForSingleObject(process.get(), INFINITE);
  else WaitForInputIdle(process.get(), 1000);
  set_bool(result, true);
}

// ---- Console streams ------------------------------------------------------------------------

CORELIB_COMMAND(standard_output) {
  DWORD which = int_or(argc, args, 0, 1) == 2 ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE;
  HANDLE stream = standard_stream(which);
  if (!stream) return;
  for (int i = 1; i < argc; ++i) {
    Arg value(args[i]);
    if (!printable(value.type())) continue;
    ArgRecord record = value.record();
    ResultRecord converted{};
    to_text(&converted, 1, &record);
    char* text = reinterpret_cast<char*>(static_cast<uintptr_t>(converted.lo));
    bool written = !text || write_stream(stream, text);
    free_block(text);
    if (!written) return;
  }
}

CORELIB_COMMAND(standard_input) {
  HANDLE stream = standard_stream(STD_INPUT_HANDLE);
  if (!stream) return;
  std::string text = bool_or(argc, args, 0, true) ? read_echoed_line(stream) : read_silent(stream);
  // Trailing control characters go; the first character stays whatever it is.
  while (text.size() > 1 && static_cast<unsigned char>(text.back()) < ' ') text.pop_back();
  set_text(result, text.substr(0, text.find('\0')));
}

// ---- Clipboard ------------------------------------------------------------------------------

CORELIB_COMMAND(clipboard_text) {
  ClipboardScope clipboard;
  if (!clipboard.open()) return;
  HANDLE data = GetClipboardData(CF_TEXT);
  if (!data) return;
  framework::GlobalLockScope lock(data);
  if (!lock.get()) return;
  // The block need not hold a terminating zero: read no further than its size.
  const char* text = static_cast<const char*>(lock.get());
  size_t size = GlobalSize(data);
  set_text(result, std::string_view(text, strnlen(text, size)));
}

CORELIB_COMMAND(set_clipboard_text) {
  std::string text = text_arg(argc, args, 0);
  set_bool(result, false);
  framework::GlobalMemory block(GlobalAlloc(GMEM_MOVEABLE, text.size() + 1));
  if (!block) return;
  {
    framework::GlobalLockScope lock(block.get());
    if (!lock.get()) return;
    std::memcpy(lock.get(), text.c_str(), text.size() + 1);
  }
  ClipboardScope clipboard;
  if (!clipboard.open() || !EmptyClipboard()) return;
  if (!SetClipboardData(CF_TEXT, block.get())) return;
  block.release();  // the clipboard owns it now
  set_bool(result, true);
}

CORELIB_COMMAND(clipboard_has_text) { set_bool(result, IsClipboardFormatAvailable(CF_TEXT) != 0); }

CORELIB_COMMAND(clear_clipboard) {
  ClipboardScope clipboard;
  if (clipboard.open()) EmptyClipboard();
}

// ---- Screen ---------------------------------------------------------------------------------

CORELIB_COMMAND(screen_width) { set_int(result, GetSystemMetrics(SM_CXSCREEN)); }
CORELIB_COMMAND(screen_height) { set_int(result, GetSystemMetrics(SM_CYSCREEN)); }

CORELIB_COMMAND(cursor_x) {
  POINT p{};
  set_int(result, GetCursorPos(&p) ? p.x : 0);
}

CORELIB_COMMAND(cursor_y) {
  POINT p{};
  set_int(result, GetCursorPos(&p) ? p.y : 0);
}

// 2 to the power of the screen's bits per pixel; a count past the integer range (32 bits per
// pixel) is given as the largest integer rather than wrapping.
CORELIB_COMMAND(colour_count) {
  framework::ClientDC screen(nullptr);
  int bits = GetDeviceCaps(screen.get(), BITSPIXEL) * GetDeviceCaps(screen.get(), PLANES);
  if (bits < 0) bits = 0;
  set_int(result, bits >= 31 ? INT_MAX : (1 << bits));
}

}  // namespace corelib
