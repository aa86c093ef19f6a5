// Command routines of the core library for numbers, conversions, texts, byte sets, pinyin and
// dates. Each has the command routine signature; the comment gives its slot in the routine table.
#pragma once
#include "abi/values.h"

namespace corelib {

// Declares (and in the family files, defines) a command routine.
#define CORELIB_COMMAND(name) \
  void __cdecl name(runtime::ResultRecord* result, int argc, runtime::ArgRecord* args)

// Arithmetic and maths (cmd_arith.cpp).
CORELIB_COMMAND(integer_divide);    // 17
CORELIB_COMMAND(remainder);         // 18
CORELIB_COMMAND(sign_of);           // 22
CORELIB_COMMAND(absolute_value);    // 23
CORELIB_COMMAND(integer_part);      // 24
CORELIB_COMMAND(truncate);          // 25
CORELIB_COMMAND(round_to);          // 26
CORELIB_COMMAND(power);             // 27
CORELIB_COMMAND(square_root);       // 28
CORELIB_COMMAND(sine);              // 29
CORELIB_COMMAND(cosine);            // 30
CORELIB_COMMAND(tangent);           // 31
CORELIB_COMMAND(arc_tangent);       // 32
CORELIB_COMMAND(natural_log);       // 33
CORELIB_COMMAND(exponential);       // 34
CORELIB_COMMAND(is_valid_number);   // 35
CORELIB_COMMAND(seed_random);       // 36
CORELIB_COMMAND(random_number);     // 37
CORELIB_COMMAND(text_starts_with);  // 44
CORELIB_COMMAND(bit_not);           // 48
CORELIB_COMMAND(bit_and);           // 49
CORELIB_COMMAND(bit_or);            // 50
CORELIB_COMMAND(bit_xor);           // 51

// Conversions (cmd_convert.cpp).
CORELIB_COMMAND(to_byte);             // 629
CORELIB_COMMAND(to_short);            // 630
CORELIB_COMMAND(to_integer);          // 631
CORELIB_COMMAND(to_long);             // 632
CORELIB_COMMAND(to_float);            // 633
CORELIB_COMMAND(to_number);           // 89
CORELIB_COMMAND(to_text);             // 90
CORELIB_COMMAND(to_date_time);        // 88
CORELIB_COMMAND(to_byte_set);         // 102
CORELIB_COMMAND(get_bin_data);        // 103
CORELIB_COMMAND(chinese_numerals);    // 114
CORELIB_COMMAND(money_text);          // 115
CORELIB_COMMAND(formatted_number);    // 116
CORELIB_COMMAND(hex_text);            // 117
CORELIB_COMMAND(octal_text);          // 118

// Texts (cmd_text.cpp).
CORELIB_COMMAND(text_length);         // 76
CORELIB_COMMAND(left_text);           // 77
CORELIB_COMMAND(right_text);          // 78
CORELIB_COMMAND(middle_text);         // 79
CORELIB_COMMAND(character);           // 80
CORELIB_COMMAND(character_code);      // 81
CORELIB_COMMAND(find_text);           // 82
CORELIB_COMMAND(find_text_backwards); // 83
CORELIB_COMMAND(to_upper);            // 84
CORELIB_COMMAND(to_lower);            // 85
CORELIB_COMMAND(to_full_width);       // 86
CORELIB_COMMAND(to_half_width);       // 87
CORELIB_COMMAND(trim_leading);        // 91
CORELIB_COMMAND(trim_trailing);       // 92
CORELIB_COMMAND(trim_both);           // 93
CORELIB_COMMAND(remove_spaces);       // 94
CORELIB_COMMAND(replace_text_at);     // 95
CORELIB_COMMAND(replace_sub_text);    // 96
CORELIB_COMMAND(spaces);              // 97
CORELIB_COMMAND(repeat_text);         // 98
CORELIB_COMMAND(compare_text);        // 99
CORELIB_COMMAND(split_text);          // 100

// Byte sets (cmd_bin.cpp).
CORELIB_COMMAND(bin_length);          // 101
CORELIB_COMMAND(left_bytes);          // 104
CORELIB_COMMAND(right_bytes);         // 105
CORELIB_COMMAND(middle_bytes);        // 106
CORELIB_COMMAND(find_bytes);          // 107
CORELIB_COMMAND(find_bytes_backwards);// 108
CORELIB_COMMAND(replace_bytes_at);    // 109
CORELIB_COMMAND(replace_sub_bytes);   // 110
CORELIB_COMMAND(zero_bytes);          // 111
CORELIB_COMMAND(repeat_bytes);        // 112
CORELIB_COMMAND(split_bytes);         // 113

// Pinyin (cmd_pinyin.cpp).
CORELIB_COMMAND(all_pinyin);          // 69
CORELIB_COMMAND(pinyin_count);        // 70
CORELIB_COMMAND(pinyin_of);           // 71
CORELIB_COMMAND(pinyin_initial);      // 72
CORELIB_COMMAND(pinyin_final);        // 73
CORELIB_COMMAND(compare_by_pinyin);   // 74
CORELIB_COMMAND(input_code_match);    // 75

// Dates and time (cmd_date.cpp).
CORELIB_COMMAND(add_to_date);         // 119
CORELIB_COMMAND(date_difference);     // 120
CORELIB_COMMAND(days_in_month);       // 121
CORELIB_COMMAND(date_to_text);        // 122
CORELIB_COMMAND(date_part);           // 123
CORELIB_COMMAND(year_of);             // 124
CORELIB_COMMAND(month_of);            // 125
CORELIB_COMMAND(day_of);              // 126
CORELIB_COMMAND(weekday_of);          // 127
CORELIB_COMMAND(hour_of);             // 128
CORELIB_COMMAND(minute_of);           // 129
CORELIB_COMMAND(second_of);           // 130
CORELIB_COMMAND(make_date);           // 131
CORELIB_COMMAND(now);                 // 132
CORELIB_COMMAND(set_system_time);     // 133
CORELIB_COMMAND(tick_count);          // 194
CORELIB_COMMAND(date_only);           // 559
CORELIB_COMMAND(time_only);           // 560

// System (cmd_system.cpp).
CORELIB_COMMAND(command_line);          // 64
CORELIB_COMMAND(run_directory);         // 65
CORELIB_COMMAND(executable_file_name);  // 66
CORELIB_COMMAND(read_environment);      // 67
CORELIB_COMMAND(write_environment);     // 68
CORELIB_COMMAND(run_program);           // 176
CORELIB_COMMAND(clipboard_text);        // 177
CORELIB_COMMAND(set_clipboard_text);    // 178
CORELIB_COMMAND(clipboard_has_text);    // 179
CORELIB_COMMAND(clear_clipboard);       // 180
CORELIB_COMMAND(screen_width);          // 181
CORELIB_COMMAND(screen_height);         // 182
CORELIB_COMMAND(cursor_x);              // 183
CORELIB_COMMAND(cursor_y);              // 184
CORELIB_COMMAND(colour_count);          // 185
CORELIB_COMMAND(standard_output);       // 577
CORELIB_COMMAND(standard_input);        // 578

// Drives, directories and whole files (cmd_file.cpp).
CORELIB_COMMAND(disk_total_space);      // 134
CORELIB_COMMAND(disk_free_space);       // 135
CORELIB_COMMAND(volume_label);          // 136
CORELIB_COMMAND(set_volume_label);      // 137
CORELIB_COMMAND(change_drive);          // 138
CORELIB_COMMAND(change_directory);      // 139
CORELIB_COMMAND(current_directory);     // 140
CORELIB_COMMAND(create_directory);      // 141
CORELIB_COMMAND(remove_directory);      // 142
CORELIB_COMMAND(copy_file);             // 143
CORELIB_COMMAND(move_file);             // 144
CORELIB_COMMAND(delete_file);           // 145
CORELIB_COMMAND(rename_file);           // 146
CORELIB_COMMAND(file_exists);           // 147
CORELIB_COMMAND(file_time);             // 149
CORELIB_COMMAND(file_size);             // 150
CORELIB_COMMAND(file_attributes);       // 151
CORELIB_COMMAND(set_file_attributes);   // 152
CORELIB_COMMAND(temporary_file_name);   // 153
CORELIB_COMMAND(read_whole_file);       // 154
CORELIB_COMMAND(write_whole_file);      // 155

// Settings: program settings, registry, INI files, system version (cmd_settings.cpp).
CORELIB_COMMAND(read_setting_text);     // 186
CORELIB_COMMAND(read_setting_int);      // 187
CORELIB_COMMAND(read_setting_bin);      // 188
CORELIB_COMMAND(write_setting);         // 189
CORELIB_COMMAND(delete_setting);        // 190
CORELIB_COMMAND(read_registry_text);    // 422
CORELIB_COMMAND(read_registry_int);     // 423
CORELIB_COMMAND(read_registry_bin);     // 424
CORELIB_COMMAND(write_registry_value);  // 425
CORELIB_COMMAND(delete_registry_item);  // 426
CORELIB_COMMAND(registry_item_exists);  // 427
CORELIB_COMMAND(read_ini_value);        // 562
CORELIB_COMMAND(write_ini_value);       // 563
CORELIB_COMMAND(ini_section_names);     // 564
CORELIB_COMMAND(system_version);        // 565

// Open files by file number (cmd_open_file.cpp).
CORELIB_COMMAND(open_file);           // 156
CORELIB_COMMAND(open_memory_file);    // 157
CORELIB_COMMAND(close_file);          // 158
CORELIB_COMMAND(close_all_files);     // 159
CORELIB_COMMAND(lock_file_region);    // 160
CORELIB_COMMAND(unlock_file_region);  // 161
CORELIB_COMMAND(move_file_position);  // 162
CORELIB_COMMAND(move_to_file_start);  // 163
CORELIB_COMMAND(move_to_file_end);    // 164
CORELIB_COMMAND(read_bytes);          // 165
CORELIB_COMMAND(write_bytes);         // 166
CORELIB_COMMAND(read_text);           // 167
CORELIB_COMMAND(write_text);          // 168
CORELIB_COMMAND(read_line);           // 169
CORELIB_COMMAND(write_lines);         // 170
CORELIB_COMMAND(read_data);           // 171
CORELIB_COMMAND(write_data);          // 172
CORELIB_COMMAND(at_file_end);         // 173
CORELIB_COMMAND(file_position);       // 174
CORELIB_COMMAND(file_length);         // 175
CORELIB_COMMAND(insert_bytes);        // 418
CORELIB_COMMAND(insert_text);         // 419
CORELIB_COMMAND(insert_lines);        // 420
CORELIB_COMMAND(delete_bytes);        // 421
CORELIB_COMMAND(open_password_file);  // 566

// External database unit methods (cmd_extdata.cpp).
CORELIB_COMMAND(extdb_connect);               // 539
CORELIB_COMMAND(extdb_disconnect);            // 540
CORELIB_COMMAND(extdb_connect_string);        // 541
CORELIB_COMMAND(extdb_begin_transaction);     // 542
CORELIB_COMMAND(extdb_rollback_transaction);  // 543
CORELIB_COMMAND(extdb_commit_transaction);    // 544
CORELIB_COMMAND(extdb_open_set);              // 545
CORELIB_COMMAND(extdb_requery);               // 546
CORELIB_COMMAND(extdb_close_set);             // 547
CORELIB_COMMAND(extdb_before_first);          // 548
CORELIB_COMMAND(extdb_after_last);            // 549
CORELIB_COMMAND(extdb_move_first);            // 550
CORELIB_COMMAND(extdb_move_last);             // 551
CORELIB_COMMAND(extdb_move_previous);         // 552
CORELIB_COMMAND(extdb_move_next);             // 553
CORELIB_COMMAND(extdb_read_column);           // 554
CORELIB_COMMAND(extdb_execute);               // 555
CORELIB_COMMAND(extdb_connect_access);        // 573
CORELIB_COMMAND(extdb_connect_sql_server);    // 574

// Windows (cmd_tray.cpp).
CORELIB_COMMAND(set_tray_icon);  // 450

// Debugging and unsupported commands (cmd_debug.cpp).
CORELIB_COMMAND(reference_unsupported);        // 54
CORELIB_COMMAND(debug_output);                 // 197
CORELIB_COMMAND(pause_program);                // 198
CORELIB_COMMAND(check_condition);              // 199
CORELIB_COMMAND(routine_address_unsupported);  // 207

// Talking to the user (cmd_dialogs.cpp).
CORELIB_COMMAND(input_box);    // 191
CORELIB_COMMAND(message_box);  // 192
CORELIB_COMMAND(beep);         // 193

// Windows and units at run time (cmd_units.cpp).
CORELIB_COMMAND(load_window);          // 200
CORELIB_COMMAND(unit_exists);          // 204
CORELIB_COMMAND(event_source_unit);    // 209
CORELIB_COMMAND(send_window_message);  // 333
CORELIB_COMMAND(post_window_message);  // 334
CORELIB_COMMAND(find_unit_by_tag);     // 428

// Program control (cmd_program.cpp).
CORELIB_COMMAND(play_sound);       // 195
CORELIB_COMMAND(stop_sound);       // 196
CORELIB_COMMAND(colour_value);     // 206
CORELIB_COMMAND(process_events);   // 212
CORELIB_COMMAND(set_busy_cursor);  // 413
CORELIB_COMMAND(restore_cursor);   // 414
CORELIB_COMMAND(delay);            // 415

// Arrays in place and memory by address (cmd_memory.cpp).
CORELIB_COMMAND(sort_array);        // 63
CORELIB_COMMAND(clear_array);       // 561
CORELIB_COMMAND(text_at_address);   // 579
CORELIB_COMMAND(bytes_at_address);  // 580
CORELIB_COMMAND(write_to_address);  // 581

// Object values and calls by name (cmd_object.cpp).
CORELIB_COMMAND(object_assign);         // 582
CORELIB_COMMAND(object_create);         // 583
CORELIB_COMMAND(object_attach);         // 584
CORELIB_COMMAND(object_clear);          // 585
CORELIB_COMMAND(object_is_empty);       // 586
CORELIB_COMMAND(object_same);           // 587
CORELIB_COMMAND(object_read_text);      // 588
CORELIB_COMMAND(object_read_number);    // 589
CORELIB_COMMAND(object_read_logical);   // 590
CORELIB_COMMAND(object_read_date);      // 591
CORELIB_COMMAND(object_read_object);    // 592
CORELIB_COMMAND(object_read_variant);   // 593
CORELIB_COMMAND(object_write);          // 594
CORELIB_COMMAND(object_call);           // 595
CORELIB_COMMAND(object_call_variant);   // 596
CORELIB_COMMAND(object_call_text);      // 597
CORELIB_COMMAND(object_call_number);    // 598
CORELIB_COMMAND(object_call_logical);   // 599
CORELIB_COMMAND(object_call_date);      // 600
CORELIB_COMMAND(object_call_object);    // 601
CORELIB_COMMAND(picture_object);        // 602
CORELIB_COMMAND(font_object);           // 603
CORELIB_COMMAND(picture_object_data);   // 604
CORELIB_COMMAND(font_object_record);    // 605
CORELIB_COMMAND(object_error_text);     // 606
CORELIB_COMMAND(object_show_info);      // 607
CORELIB_COMMAND(unit_object);           // 621

// Variants (cmd_variant.cpp).
CORELIB_COMMAND(variant_copy);          // 608
CORELIB_COMMAND(variant_clear);         // 609
CORELIB_COMMAND(variant_set);           // 610
CORELIB_COMMAND(variant_kind);          // 611
CORELIB_COMMAND(variant_as_text);       // 612
CORELIB_COMMAND(variant_as_number);     // 613
CORELIB_COMMAND(variant_as_logical);    // 614
CORELIB_COMMAND(variant_as_date);       // 615
CORELIB_COMMAND(variant_as_object);     // 616
CORELIB_COMMAND(variant_as_array);      // 617
CORELIB_COMMAND(variant_as_bytes);      // 618
CORELIB_COMMAND(variant_create_array);  // 619
CORELIB_COMMAND(variant_dimensions);    // 623
CORELIB_COMMAND(variant_bound);         // 625
CORELIB_COMMAND(variant_element);       // 627
CORELIB_COMMAND(variant_set_element);   // 628

// Databases: last error, create, open, close, the current one, passwords (cmd_db_files.cpp).
CORELIB_COMMAND(db_last_error);             // 337
CORELIB_COMMAND(db_last_error_text);        // 338
CORELIB_COMMAND(db_create);                 // 339
CORELIB_COMMAND(db_open);                   // 340
CORELIB_COMMAND(db_open_closing_previous);  // 341
CORELIB_COMMAND(db_set_current);            // 342
CORELIB_COMMAND(db_current_name);           // 343
CORELIB_COMMAND(db_close);                  // 344
CORELIB_COMMAND(db_close_all);              // 345
CORELIB_COMMAND(db_current_path);           // 346
CORELIB_COMMAND(db_is_open);                // 347
CORELIB_COMMAND(db_record_count);           // 348
CORELIB_COMMAND(db_created);                // 349
CORELIB_COMMAND(db_flush);                  // 410
CORELIB_COMMAND(db_flush_all);              // 411
CORELIB_COMMAND(db_is_protected);           // 567
CORELIB_COMMAND(db_set_password);           // 568
CORELIB_COMMAND(db_ask_password);           // 569
CORELIB_COMMAND(db_copy_password);          // 570

// Database fields and values (cmd_db_fields.cpp).
CORELIB_COMMAND(db_field_count);         // 350
CORELIB_COMMAND(db_field_name);          // 351
CORELIB_COMMAND(db_rename_field);        // 352
CORELIB_COMMAND(db_field_type);          // 353
CORELIB_COMMAND(db_field_size);          // 354
CORELIB_COMMAND(db_append_values);       // 383
CORELIB_COMMAND(db_append_blank);        // 384
CORELIB_COMMAND(db_write_values);        // 386
CORELIB_COMMAND(db_read_field);          // 392
CORELIB_COMMAND(db_write_field);         // 393
CORELIB_COMMAND(db_read_field_of);       // 394
CORELIB_COMMAND(db_write_field_of);      // 395
CORELIB_COMMAND(db_add_to_bytes_field);  // 396
CORELIB_COMMAND(db_add_to_memo_field);   // 397

// Database indexes and locks (cmd_db_indexes.cpp).
CORELIB_COMMAND(db_create_index);        // 355
CORELIB_COMMAND(db_set_current_index);   // 356
CORELIB_COMMAND(db_current_index_name);  // 357
CORELIB_COMMAND(db_reindex);             // 358
CORELIB_COMMAND(db_index_count);         // 359
CORELIB_COMMAND(db_index_name);          // 360
CORELIB_COMMAND(db_index_fields);        // 361
CORELIB_COMMAND(db_set_retry_time);      // 362
CORELIB_COMMAND(db_lock);                // 363
CORELIB_COMMAND(db_unlock);              // 364
CORELIB_COMMAND(db_lock_count);          // 365
CORELIB_COMMAND(db_unlock_count);        // 366
CORELIB_COMMAND(db_lock_records);        // 367
CORELIB_COMMAND(db_unlock_records);      // 368
CORELIB_COMMAND(db_unlock_all);          // 369

// Database aggregates, copies and sorts (cmd_db_bulk.cpp).
CORELIB_COMMAND(db_average);                    // 370
CORELIB_COMMAND(db_sum);                        // 371
CORELIB_COMMAND(db_maximum);                    // 372
CORELIB_COMMAND(db_minimum);                    // 373
CORELIB_COMMAND(db_latest);                     // 374
CORELIB_COMMAND(db_earliest);                   // 375
CORELIB_COMMAND(db_count);                      // 376
CORELIB_COMMAND(db_copy_structure);             // 377
CORELIB_COMMAND(db_copy_records);               // 378
CORELIB_COMMAND(db_sort_records);               // 379
CORELIB_COMMAND(db_sort_by_fields);             // 380
CORELIB_COMMAND(db_sort_by_fields_descending);  // 381

// Database records: navigation, delete, pack, find, seek, modify (cmd_db_records.cpp).
CORELIB_COMMAND(db_append_from);    // 382
CORELIB_COMMAND(db_modify);         // 385
CORELIB_COMMAND(db_delete);         // 387
CORELIB_COMMAND(db_is_deleted);     // 388
CORELIB_COMMAND(db_undelete);       // 389
CORELIB_COMMAND(db_pack);           // 390
CORELIB_COMMAND(db_clear);          // 391
CORELIB_COMMAND(db_seek);           // 398
CORELIB_COMMAND(db_find);           // 399
CORELIB_COMMAND(db_go_first);       // 400
CORELIB_COMMAND(db_go_last);        // 401
CORELIB_COMMAND(db_skip);           // 402
CORELIB_COMMAND(db_record_number);  // 403
CORELIB_COMMAND(db_go_to);          // 404
CORELIB_COMMAND(db_serial);         // 405
CORELIB_COMMAND(db_serial_exists);  // 406
CORELIB_COMMAND(db_go_to_serial);   // 407
CORELIB_COMMAND(db_before_first);   // 408
CORELIB_COMMAND(db_after_last);     // 409

// The record browse and edit dialog (cmd_db_browse.cpp).
CORELIB_COMMAND(db_browse);  // 412

// Communication: serial port and socket units, name lookups (cmd_comm.cpp).
CORELIB_COMMAND(datagram_send);          // 436
CORELIB_COMMAND(received_data);          // 437, 449
CORELIB_COMMAND(client_connect);         // 438
CORELIB_COMMAND(client_disconnect);      // 439
CORELIB_COMMAND(client_send);            // 440
CORELIB_COMMAND(server_received_data);   // 441
CORELIB_COMMAND(serial_open);            // 442
CORELIB_COMMAND(serial_close);           // 443
CORELIB_COMMAND(serial_send);            // 444
CORELIB_COMMAND(host_name_of_address);   // 445
CORELIB_COMMAND(address_of_host_name);   // 446
CORELIB_COMMAND(server_client_address);  // 447
CORELIB_COMMAND(server_send);            // 448
CORELIB_COMMAND(server_disconnect);      // 452
CORELIB_COMMAND(serial_set_line);        // 571

}  // namespace corelib
