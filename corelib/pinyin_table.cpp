// Pinyin lookups over the generated tables: readings of a hanzi, syllable-part texts, fuzzy fold.
#include "corelib/pinyin_table.h"
#include <cstring>

namespace corelib::pinyin {
namespace {

struct Part {
  uint8_t code;
  const char* text;
};

// Searched in order: the first record with a code wins, so the last one (55 "v") is never found.
constexpr Part kParts[] = {
    {1, "zh"},   {2, "ch"},   {3, "sh"},   {4, "b"},     {5, "p"},     {6, "m"},    {7, "f"},
    {8, "d"},    {9, "t"},    {10, "n"},   {11, "l"},    {12, "g"},    {13, "k"},   {14, "h"},
    {15, "j"},   {16, "q"},   {17, "x"},   {18, "r"},    {19, "z"},    {20, "c"},   {21, "s"},
    {22, "y"},   {23, "w"},   {24, "ang"}, {25, "eng"},  {26, "an"},   {27, "ai"},  {28, "ao"},
    {29, "ou"},  {30, "er"},  {31, "en"},  {32, "ei"},   {33, "a"},    {34, "o"},   {35, "e"},
    {36, "uang"}, {37, "iang"}, {38, "iong"}, {39, "ing"}, {40, "ong"}, {41, "uai"}, {42, "uan"},
    {43, "iao"}, {44, "ian"}, {45, "ui"},  {46, "iu"},   {47, "ie"},   {48, "ue"},  {49, "in"},
    {50, "un"},  {51, "ia"},  {52, "ua"},  {53, "uo"},   {54, "i"},    {55, "u"},   {55, "v"},
};
static_assert(sizeof(kParts) / sizeof(kParts[0]) == 56);

enum : uint8_t {
  kZh = 1, kCh = 2, kSh = 3, kN = 10, kL = 11, kJ = 15, kQ = 16, kX = 17, kY = 22,
  kZ = 19, kC = 20, kS = 21,
  kEng = 25, kAn = 26, kEn = 31, kIng = 39, kUan = 42, kIan = 44, kIe = 47, kUe = 48,
  kIn = 49, kUn = 50, kI = 54, kU = 55,
};

uint8_t part_code(const char* text, int length, uint8_t first, uint8_t last) {
  for (const Part& p : kParts)
    if (p.code >= first && p.code <= last && static_cast<int>(strlen(p.text)) == length &&
        memcmp(p.text, text, length) == 0)
      return p.code;
  return 0;
}

uint8_t fold_initial(uint8_t code) {
  switch (code) {
    case kZh: return kZ;
    case kCh: return kC;
    case kSh: return kS;
    case kL: return kN;
    default: return code;
  }
}

uint8_t fold_final(uint8_t code, uint8_t initial) {
  if (code == 0) return 0;
  if (initial == kJ || initial == kQ || initial == kX || initial == kY) {
    if (code == kUn) return kIng;
    if (code == kU) return kI;
    if (code == kIan) return kUan;
  }
  if (code == kEn) return kEng;
  if (code == kIe) return kUe;
  if (code == kIn) return kIng;
  if (initial == kN && code == kU) return kI;
  if (initial == kY && code == kAn) return kUan;
  return code;
}

}  // namespace

uint16_t char_entry(uint8_t lead, uint8_t trail) {
  if (!is_hanzi(lead, trail)) return 0;
  return kCharTable[(lead - 0xB0) * 94 + (trail - 0xA1)];
}

int readings(uint8_t lead, uint8_t trail, uint16_t out[3]) {
  uint16_t e = char_entry(lead, trail);
  if (e == 0) return 0;
  if (!(e & kPolyphoneBit)) {
    out[0] = e;
    return 1;
  }
  uint32_t rec = e & 0x7FFF;
  if (rec >= kPolyphoneCount) return 0;
  int n = 0;
  for (int i = 0; i < 3; ++i)
    if (kPolyphones[rec][i] != 0) out[n++] = kPolyphones[rec][i];
  return n;
}

const char* part_text(uint8_t code) {
  for (const Part& p : kParts)
    if (p.code == code) return p.text;
  return "";
}

uint8_t initial_code(const char* text, int length) { return part_code(text, length, 1, 23); }
uint8_t final_code(const char* text, int length) { return part_code(text, length, 24, 55); }

uint16_t fuzzy_fold(uint16_t reading) {
  uint8_t ini = initial_of(reading);
  if (ini != 0) ini = fold_initial(ini);
  uint8_t fin = fold_final(final_of(reading), ini);
  return static_cast<uint16_t>(ini | fin << 8);
}

}  // namespace corelib::pinyin
