// The key transform of index files with a sort mode or key flags: text parts rewritten so
// that byte order becomes the wanted order (letter case and spaces ignored on request, GBK
// ideographs replaced by their pronunciation code). Other parts are copied unchanged.
#pragma once
#include <cstdint>
#include "database/index_format.h"

namespace database {

// The two key bytes (low byte first) that stand for ideograph lead/trail in pronunciation
// order; `remapped` for sort mode 2. 0 when the character has no reading. Registered by the
// module that owns the pronunciation table (the core library); without one, ideographs are
// copied as they are.
using PronunciationBytes = uint16_t (*)(uint8_t lead, uint8_t trail, bool remapped);
void set_pronunciation(PronunciationBytes fn);

enum : int32_t { kIgnoreCase = 1, kIgnoreSpaces = 2 };

inline bool transform_needed(int32_t sort_mode, int32_t flags) { return sort_mode != 0 || flags != 0; }
// Writes the transformed key of `shape` (K bytes) from `in` to `out`.
void transform_key(const KeyShape& shape, int32_t sort_mode, int32_t flags, const uint8_t* in, uint8_t* out);

}  // namespace database
