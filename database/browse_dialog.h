// The record browse and edit dialog: a modal dialog over the current database that shows one
// record at a time, one labelled control per field, with record and field navigation by keys
// and menu, adding blank records, the deleted mark, pack and clear, and a field editor for
// byte-set and memo values (import, export, picture preview, sound playback).
#pragma once
#include <windows.h>
#include <cstdint>
#include <string>
#include <vector>
#include "database/engine.h"

namespace database {

// What the dialog needs from the libraries above the engine: the date texts of the core
// library, and the picture and sound paths of the runtime. Any of them may be null.
struct BrowseHooks {
  std::string (*date_text)(double value) = nullptr;
  bool (*read_date)(const std::string& text, double* value) = nullptr;
  HBITMAP (*decode_picture)(const std::string& data) = nullptr;
  bool (*play_sound)(const std::string& data) = nullptr;
  void (*stop_sound)() = nullptr;
};

enum BrowseFlags : int32_t {
  kBrowseViewOnly = 1,    // nothing is saved; also no adding and no deleting
  kBrowseNoAdding = 2,
  kBrowseNoDeleting = 4,
  kBrowseEditorViews = 8,  // the field editor opens byte-set and memo values in view mode
};

// Runs the dialog on `db` showing the fields numbered in `fields` (0-based, in order).
// Afterwards the database's current record is 0.
void browse_records(Database& db, const std::string& title, int32_t flags,
                    const std::vector<int32_t>& fields, const BrowseHooks& hooks);

// The field editor alone (for a byte-set or memo value): true when it closed with a changed
// value, which is then in `value`.
bool edit_field_value(HWND owner, bool memo, bool view_only, std::string& value, const BrowseHooks& hooks);

// What the field editor lists for a byte set that is neither picture nor sound: the byte
// values as decimal numbers separated by ",", at most 600, then "  ..." when there are more.
std::string byte_list(const std::string& bytes);

}  // namespace database
