// Database command 412: the record browse and edit dialog over the current database. The
// dialog lives with the engine; this command gives it the core library's date texts and the
// runtime's picture decoding and sound playback.
#include <windows.h>
#include "corelib/commands.h"
#include "corelib/db_support.h"
#include "database/browse_dialog.h"
#include "runtime/notify.h"
#include "units/pictures.h"

namespace corelib {

using namespace runtime;

namespace {

std::string date_text(double v) { return dates::to_text(v, 1); }
bool read_date(const std::string& text, double* v) { return dates::read_text(text, v); }
HBITMAP decode_picture(const std::string& data) { return units::read_bitmap(data); }
bool play_sound(const std::string& data) {
  uint32_t request[3] = {static_cast<uint32_t>(reinterpret_cast<uintptr_t>(data.data())),
                         static_cast<uint32_t>(data.size()), 0};
  return notify(2015, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(request)), 0) == 1;
}
void stop_sound() { notify(2016, 0, 0); }

constexpr database::BrowseHooks kHooks{date_text, read_date, decode_picture, play_sound, stop_sound};

}  // namespace

// Arguments: an optional title, optional option flags, the fields to show (texts or text
// arrays; none = every field; names that are no field are skipped).
CORELIB_COMMAND(db_browse) {
  database::Database* d = db::current();
  if (!d) return;
  Arg title(arg_at(argc, args, 0));
  std::string title_text = title.type() == kTypeText ? text_of(title.record()) : "数据库记录编辑";
  std::vector<int32_t> fields;
  std::vector<std::string> names = db::names_from(argc, args, 2);
  for (const std::string& n : names)
    if (int32_t f = d->find_field(n); f >= 0) fields.push_back(f);
  if (names.empty())
    for (int32_t f = 0; f < d->field_count(); ++f) fields.push_back(f);
  database::browse_records(*d, title_text, int_or(argc, args, 1, 0), fields, kHooks);
  db::done(0);
}

}  // namespace corelib
