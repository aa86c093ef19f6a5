// The core library's command routine table, one line per slot: the place to find the routine
// of any command by its slot. Routines shared by several slots are listed once per slot.
#include "corelib/routine_table.h"
#include "corelib/commands.h"
#include <utility>

namespace corelib {

namespace {

using runtime::ArgRecord;
using runtime::CommandRoutine;
using runtime::ResultRecord;

// The fixed-result routines.
void __cdecl does_nothing(ResultRecord*, int, ArgRecord*) {}
void __cdecl result_false(ResultRecord* r, int, ArgRecord*) { r->lo = 0; }
void __cdecl result_true(ResultRecord* r, int, ArgRecord*) { r->lo = 1; }

struct SlotRoutine {
  int slot;
  CommandRoutine routine;
};

// Slot -> routine, in slot order. Command families add their lines here.
constexpr SlotRoutine kSlots[] = {
    {17, integer_divide},
    {18, remainder},
    {22, sign_of},
    {23, absolute_value},
    {24, integer_part},
    {25, truncate},
    {26, round_to},
    {27, power},
    {28, square_root},
    {29, sine},
    {30, cosine},
    {31, tangent},
    {32, arc_tangent},
    {33, natural_log},
    {34, exponential},
    {35, is_valid_number},
    {36, seed_random},
    {37, random_number},
    {44, text_starts_with},
    {48, bit_not},
    {49, bit_and},
    {50, bit_or},
    {51, bit_xor},
    {54, reference_unsupported},
    {63, sort_array},
    {64, command_line},
    {65, run_directory},
    {66, executable_file_name},
    {67, read_environment},
    {68, write_environment},
    {69, all_pinyin},
    {70, pinyin_count},
    {71, pinyin_of},
    {72, pinyin_initial},
    {73, pinyin_final},
    {74, compare_by_pinyin},
    {75, input_code_match},
    {76, text_length},
    {77, left_text},
    {78, right_text},
    {79, middle_text},
    {80, character},
    {81, character_code},
    {82, find_text},
    {83, find_text_backwards},
    {84, to_upper},
    {85, to_lower},
    {86, to_full_width},
    {87, to_half_width},
    {88, to_date_time},
    {89, to_number},
    {90, to_text},
    {91, trim_leading},
    {92, trim_trailing},
    {93, trim_both},
    {94, remove_spaces},
    {95, replace_text_at},
    {96, replace_sub_text},
    {97, spaces},
    {98, repeat_text},
    {99, compare_text},
    {100, split_text},
    {101, bin_length},
    {102, to_byte_set},
    {103, get_bin_data},
    {104, left_bytes},
    {105, right_bytes},
    {106, middle_bytes},
    {107, find_bytes},
    {108, find_bytes_backwards},
    {109, replace_bytes_at},
    {110, replace_sub_bytes},
    {111, zero_bytes},
    {112, repeat_bytes},
    {113, split_bytes},
    {114, chinese_numerals},
    {115, money_text},
    {116, formatted_number},
    {117, hex_text},
    {118, octal_text},
    {119, add_to_date},
    {120, date_difference},
    {121, days_in_month},
    {122, date_to_text},
    {123, date_part},
    {124, year_of},
    {125, month_of},
    {126, day_of},
    {127, weekday_of},
    {128, hour_of},
    {129, minute_of},
    {130, second_of},
    {131, make_date},
    {132, now},
    {133, set_system_time},
    {134, disk_total_space},
    {135, disk_free_space},
    {136, volume_label},
    {137, set_volume_label},
    {138, change_drive},
    {139, change_directory},
    {140, current_directory},
    {141, create_directory},
    {142, remove_directory},
    {143, copy_file},
    {144, move_file},
    {145, delete_file},
    {146, rename_file},
    {147, file_exists},
    {149, file_time},
    {150, file_size},
    {151, file_attributes},
    {152, set_file_attributes},
    {153, temporary_file_name},
    {154, read_whole_file},
    {155, write_whole_file},
    {156, open_file},
    {157, open_memory_file},
    {158, close_file},
    {159, close_all_files},
    {160, lock_file_region},
    {161, unlock_file_region},
    {162, move_file_position},
    {163, move_to_file_start},
    {164, move_to_file_end},
    {165, read_bytes},
    {166, write_bytes},
    {167, read_text},
    {168, write_text},
    {169, read_line},
    {170, write_lines},
    {171, read_data},
    {172, write_data},
    {173, at_file_end},
    {174, file_position},
    {175, file_length},
    {176, run_program},
    {177, clipboard_text},
    {178, set_clipboard_text},
    {179, clipboard_has_text},
    {180, clear_clipboard},
    {181, screen_width},
    {182, screen_height},
    {183, cursor_x},
    {184, cursor_y},
    {185, colour_count},
    {186, read_setting_text},
    {187, read_setting_int},
    {188, read_setting_bin},
    {189, write_setting},
    {190, delete_setting},
    {191, input_box},
    {192, message_box},
    {193, beep},
    {194, tick_count},
    {195, play_sound},
    {196, stop_sound},
    {197, debug_output},
    {198, pause_program},
    {199, check_condition},
    {200, load_window},
    {204, unit_exists},
    {206, colour_value},
    {207, routine_address_unsupported},
    {208, result_false},
    {209, event_source_unit},
    {212, process_events},
    {333, send_window_message},
    {334, post_window_message},
    {335, result_false},
    {336, result_true},
    {413, set_busy_cursor},
    {414, restore_cursor},
    {415, delay},
    {418, insert_bytes},
    {419, insert_text},
    {420, insert_lines},
    {421, delete_bytes},
    {422, read_registry_text},
    {423, read_registry_int},
    {424, read_registry_bin},
    {425, write_registry_value},
    {426, delete_registry_item},
    {427, registry_item_exists},
    {428, find_unit_by_tag},
    {450, set_tray_icon},
    {539, extdb_connect},
    {540, extdb_disconnect},
    {541, extdb_connect_string},
    {542, extdb_begin_transaction},
    {543, extdb_rollback_transaction},
    {544, extdb_commit_transaction},
    {545, extdb_open_set},
    {546, extdb_requery},
    {547, extdb_close_set},
    {548, extdb_before_first},
    {549, extdb_after_last},
    {550, extdb_move_first},
    {551, extdb_move_last},
    {552, extdb_move_previous},
    {553, extdb_move_next},
    {554, extdb_read_column},
    {555, extdb_execute},
    {556, does_nothing},
    {557, does_nothing},
    {558, result_false},
    {559, date_only},
    {560, time_only},
    {561, clear_array},
    {562, read_ini_value},
    {563, write_ini_value},
    {564, ini_section_names},
    {565, system_version},
    {566, open_password_file},
    {572, result_true},
    {573, extdb_connect_access},
    {574, extdb_connect_sql_server},
    {577, standard_output},
    {578, standard_input},
    {579, text_at_address},
    {580, bytes_at_address},
    {581, write_to_address},
    {582, object_assign},
    {583, object_create},
    {584, object_attach},
    {585, object_clear},
    {586, object_is_empty},
    {587, object_same},
    {588, object_read_text},
    {589, object_read_number},
    {590, object_read_logical},
    {591, object_read_date},
    {592, object_read_object},
    {593, object_read_variant},
    {594, object_write},
    {595, object_call},
    {596, object_call_variant},
    {597, object_call_text},
    {598, object_call_number},
    {599, object_call_logical},
    {600, object_call_date},
    {601, object_call_object},
    {602, picture_object},
    {603, font_object},
    {604, picture_object_data},
    {605, font_object_record},
    {606, object_error_text},
    {607, object_show_info},
    {608, variant_copy},
    {609, variant_clear},
    {610, variant_set},
    {611, variant_kind},
    {612, variant_as_text},
    {613, variant_as_number},
    {614, variant_as_logical},
    {615, variant_as_date},
    {616, variant_as_object},
    {617, variant_as_array},
    {618, variant_as_bytes},
    {619, variant_create_array},
    {620, result_false},
    {621, unit_object},
    {623, variant_dimensions},
    {625, variant_bound},
    {627, variant_element},
    {628, variant_set_element},
    {629, to_byte},
    {630, to_short},
    {631, to_integer},
    {632, to_long},
    {633, to_float},
};

// Slots that reuse the routine of another slot: {slot, slot whose routine it takes}.
constexpr std::pair<int, int> kSharedSlots[] = {
    {264, 246}, {265, 247}, {266, 248}, {267, 249}, {268, 250}, {269, 251},
    {271, 259}, {272, 260}, {273, 261}, {274, 262}, {275, 263},
    {449, 437},
};

// Slots with no routine: [first, last] ranges.
constexpr std::pair<int, int> kEmptyRanges[] = {
    {0, 16}, {19, 21}, {38, 43}, {45, 47}, {52, 53}, {55, 62}, {148, 148},
    {201, 203}, {417, 417}, {622, 622}, {656, 656},
};

constexpr bool empty_slot(int slot) {
  for (auto [first, last] : kEmptyRanges)
    if (slot >= first && slot <= last) return true;
  return false;
}

constexpr RoutineTable build() {
  RoutineTable t{};
  for (const SlotRoutine& s : kSlots) t[s.slot] = s.routine;
  for (auto [slot, from] : kSharedSlots) t[slot] = t[from];
  return t;
}

constexpr bool slots_well_formed() {
  bool seen[kSlotCount] = {};
  for (const SlotRoutine& s : kSlots) {
    if (s.slot < 0 || s.slot >= kSlotCount || seen[s.slot] || empty_slot(s.slot) || !s.routine)
      return false;
    seen[s.slot] = true;
  }
  for (auto [slot, from] : kSharedSlots)
    if (seen[slot] || empty_slot(slot)) return false;  // a shared slot has no line of its own
  return true;
}
static_assert(slots_well_formed(), "a slot is listed twice, out of range, or meant to be empty");

}  // namespace

constinit const RoutineTable kRoutineTable = build();

bool is_empty_slot(int slot) { return empty_slot(slot); }

}  // namespace corelib
