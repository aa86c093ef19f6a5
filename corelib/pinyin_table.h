// Pinyin data of the GB2312 hanzi: the character and polyphone tables (generated), the
// syllable-part table, and the fuzzy fold. Shared by the pinyin commands and by the database
// index key transform, whose pronunciation order is this table's code order.
#pragma once
#include <cstdint>

namespace corelib::pinyin {

// One entry per hanzi slot, lead 0xB0..0xF7, trail 0xA1..0xFE, at (lead-0xB0)*94 + trail-0xA1.
// 0 = no reading; bit 15 clear = one reading (initial code | final code << 8);
// bit 15 set = polyphone record number in the low 15 bits.
extern const uint16_t kCharTable[6768];
extern const uint16_t kPolyphones[][3];  // three readings of a polyphone, absent readings 0
extern const uint32_t kPolyphoneCount;

constexpr uint16_t kPolyphoneBit = 0x8000;

// True when the two bytes name a slot of the character table.
constexpr bool is_hanzi(uint8_t lead, uint8_t trail) {
  return lead >= 0xB0 && lead <= 0xF7 && trail >= 0xA1 && trail <= 0xFE;
}
// The raw table entry of a hanzi (0 for anything else).
uint16_t char_entry(uint8_t lead, uint8_t trail);
// The readings of a hanzi in table order; returns their count (0..3).
int readings(uint8_t lead, uint8_t trail, uint16_t out[3]);

constexpr uint8_t initial_of(uint16_t reading) { return reading & 0xFF; }
constexpr uint8_t final_of(uint16_t reading) { return reading >> 8; }

// Text of a syllable part code (initials 1..23, finals 24..55); "" for an unknown code.
const char* part_text(uint8_t code);
// Code of a part text of the given kind, 0 when the text is no such part.
uint8_t initial_code(const char* text, int length);
uint8_t final_code(const char* text, int length);

// The fuzzy fold of a reading: initial first, then the final with the folded initial as context.
uint16_t fuzzy_fold(uint16_t reading);

}  // namespace corelib::pinyin
