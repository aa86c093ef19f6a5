// The core library's plug-ins: the pronunciation order of database index keys comes from its
// pinyin table; the external data provider unit reads and shows dates by its date rules; the
// database provider unit reads its rows through the engine and writes its changes back.
#include "corelib/install.h"
#include "corelib/cmd_support.h"
#include "corelib/database_rows.h"
#include "corelib/pinyin_table.h"
#include "database/key_transform.h"
#include "extdata/provider_table.h"

namespace corelib {

namespace {

// Key bytes of an ideograph: its first reading (folded for the remapped sort mode) as the
// initial code + 1 and the final code. Both bytes stay in 1..0x80, so a key text never holds a
// zero byte or a lead byte where an ideograph was, and byte order is the reading's order.
uint16_t pronunciation_bytes(uint8_t lead, uint8_t trail, bool remapped) {
  uint16_t readings[3];
  if (pinyin::readings(lead, trail, readings) == 0 || readings[0] == 0) return 0;
  uint16_t r = remapped ? pinyin::fuzzy_fold(readings[0]) : readings[0];
  uint8_t initial = static_cast<uint8_t>(pinyin::initial_of(r) + 1), final = pinyin::final_of(r);
  if (final == 0) return 0;
  return static_cast<uint16_t>(initial | final << 8);
}

bool read_date(std::string_view text, double* value) { return dates::read_text(text, value); }
std::string date_text(double value) { return dates::to_text(value, 1); }

}  // namespace

void install() {
  database::set_pronunciation(&pronunciation_bytes);
  extdata::set_date_rules({&read_date, &date_text});
  units::set_table_reader(&read_database_rows);
  units::set_table_writer(&write_database_edit);
}

}  // namespace corelib
