// Operations on an index tree: entering and leaving (lock, header, pages), the search by
// (key, record) and the walks from entry to entry across leaves.
#include "database/index_op.h"
#include "database/key_transform.h"

namespace database {

using namespace page_bytes;

namespace {

// One integer key part: the commonest index, compared without the part loop.
int compare_int(const KeyShape&, const uint8_t* a, const uint8_t* b) {
  int32_t x = get32(a), y = get32(b);
  return x < y ? -1 : y < x ? 1 : 0;
}

}  // namespace

IndexOp::IndexOp(IndexTree& t)
    : t_(t), pg_(*t.pager_), k_(t.key_), S_(t.key_.key_length + 4), E_(t.key_.max_entries),
      H_(t.key_.min_entries) {
  cmp_ = (k_.shape.count == 1 && k_.shape.types[0] == kInt) ? compare_int : compare_keys;
  rc_ = enter();
}

int32_t IndexOp::enter() {
  int32_t rc = t_.enter();
  entered_ = rc == 0;
  if (rc == 0) {
    const IndexHeader& h = pg_.header();
    if (h.key_length != k_.key_length || h.part_count != k_.shape.count) rc = pg_.fail(kIndexPageError);
  }
  return rc;
}

int32_t IndexOp::leave(int32_t rc) {
  if (rc == 0) rc = rc_;
  if (!entered_) return rc;
  entered_ = false;
  return t_.leave(rc);
}

uint8_t* IndexOp::node(int32_t n) {
  uint8_t* p = pg_.page(n);
  if (!p) return nullptr;
  uint16_t f = flags_of(p);
  int32_t c = count_of(p);
  if (f > kBranchPage || c < 0 || c > E_) {
    pg_.fail(kIndexPageError);
    return nullptr;
  }
  return p;
}

// The record of the last entry under `page` (its greatest pair), -1 for an empty leaf.
int32_t IndexOp::max_record(int32_t page) {
  for (int32_t d = 0; d < kMaxTreeDepth; ++d) {
    uint8_t* p = node(page);
    if (!p) return -1;
    int32_t n = count_of(p);
    if (flags_of(p) == kLeafPage) return n ? get32(slot(p, n - 1)) : -1;
    page = get32(slot(p, n));
  }
  pg_.fail(kIndexPageError);
  return -1;
}

int32_t IndexOp::descend(const uint8_t* key, int32_t record) {
  at_end_ = false;
  depth_ = 0;
  int32_t page = pg_.header().root;
  for (;;) {
    if (depth_ == kMaxTreeDepth) return fail();
    uint8_t* p = node(page);
    if (!p) return fail();
    int32_t n = count_of(p);
    if (flags_of(p) == kLeafPage) {
      int32_t lo = 0, hi = n;
      while (lo < hi) {
        int32_t mid = (lo + hi) / 2;
        int c = cmp(key_at(p, mid), key);
        if (c < 0 || (c == 0 && get32(slot(p, mid)) < record)) lo = mid + 1;
        else hi = mid;
      }
      path_[depth_++] = {page, lo};
      return 0;
    }
    // First separator >= key.
    int32_t lo = 0, hi = n;
    while (lo < hi) {
      int32_t mid = (lo + hi) / 2;
      if (cmp(key_at(p, mid), key) < 0) lo = mid + 1;
      else hi = mid;
    }
    int32_t pos = lo;
    if (pos < n && record > 0 && cmp(key_at(p, pos), key) == 0) {
      // Equal keys run over several children in record order: choose the first child whose
      // last record is >= the one sought, trying the last equal child first (appends).
      int32_t first = pos, last = pos;
      hi = n;
      lo = pos + 1;
      while (lo < hi) {
        int32_t mid = (lo + hi) / 2;
        if (cmp(key_at(p, mid), key) <= 0) lo = mid + 1;
        else hi = mid;
      }
      last = lo - 1;
      int32_t child_last = get32(slot(p, last));
      if (max_record(child_last) < record) {
        pos = last + 1;
      } else {
        lo = first, hi = last;
        while (lo < hi) {
          int32_t mid = (lo + hi) / 2;
          p = pg_.page(page);  // probes may have moved it out of the cache
          if (!p) return fail();
          if (max_record(get32(slot(p, mid))) >= record) hi = mid;
          else lo = mid + 1;
        }
        pos = lo;
      }
      if (pg_.rc()) return pg_.rc();
      p = pg_.page(page);
      if (!p) return fail();
    }
    path_[depth_++] = {page, pos};
    int32_t child = get32(slot(p, pos));
    if (child < 1 || child >= pg_.header().page_count || child == page) return fail();
    page = child;
  }
}

int32_t IndexOp::leftmost(int32_t level, int32_t page) {
  depth_ = level;
  for (;;) {
    if (depth_ == kMaxTreeDepth) return fail();
    uint8_t* p = node(page);
    if (!p) return fail();
    path_[depth_++] = {page, 0};
    if (flags_of(p) == kLeafPage) return 0;
    page = get32(slot(p, 0));
  }
}

int32_t IndexOp::rightmost(int32_t level, int32_t page) {
  depth_ = level;
  for (;;) {
    if (depth_ == kMaxTreeDepth) return fail();
    uint8_t* p = node(page);
    if (!p) return fail();
    int32_t n = count_of(p);
    if (flags_of(p) == kLeafPage) {
      path_[depth_++] = {page, n ? n - 1 : 0};
      return 0;
    }
    path_[depth_++] = {page, n};
    page = get32(slot(p, n));
  }
}

int32_t IndexOp::seek(const uint8_t* key, int32_t record) {
  int32_t rc = descend(key, record);
  if (rc) return rc;
  uint8_t* p = pg_.page(path_[depth_ - 1].page);
  if (!p) return fail();
  if (path_[depth_ - 1].pos >= count_of(p)) return step_forward();
  return 0;
}

int32_t IndexOp::seek_edge(bool last) {
  at_end_ = false;
  int32_t rc = last ? rightmost(0, pg_.header().root) : leftmost(0, pg_.header().root);
  if (rc) return rc;
  uint8_t* p = pg_.page(path_[depth_ - 1].page);
  if (!p) return fail();
  if (count_of(p) == 0) at_end_ = true;  // only an empty root leaf
  return 0;
}

// Moves to the next entry, across leaves; at_end_ past the last one.
int32_t IndexOp::step_forward() {
  Step& leaf = path_[depth_ - 1];
  uint8_t* p = pg_.page(leaf.page);
  if (!p) return fail();
  if (++leaf.pos < count_of(p)) return 0;
  for (int32_t guard = 0; guard < pg_.header().page_count; ++guard) {
    int32_t l = depth_ - 2;
    for (; l >= 0; --l) {
      uint8_t* b = pg_.page(path_[l].page);
      if (!b) return fail();
      if (path_[l].pos < count_of(b)) break;
    }
    if (l < 0) {
      at_end_ = true;
      return 0;
    }
    uint8_t* b = pg_.page(path_[l].page);
    int32_t child = get32(slot(b, ++path_[l].pos));
    int32_t want = depth_;
    int32_t rc = leftmost(l + 1, child);
    if (rc) return rc;
    if (depth_ != want) return fail();  // leaves at different depths
    p = pg_.page(path_[depth_ - 1].page);
    if (!p) return fail();
    if (count_of(p) > 0) return 0;
  }
  return fail();
}

int32_t IndexOp::step_back() {
  Step& leaf = path_[depth_ - 1];
  if (leaf.pos > 0) {
    --leaf.pos;
    return 0;
  }
  for (int32_t guard = 0; guard < pg_.header().page_count; ++guard) {
    int32_t l = depth_ - 2;
    for (; l >= 0 && path_[l].pos == 0; --l) {
    }
    if (l < 0) {
      at_end_ = true;
      return 0;
    }
    uint8_t* b = pg_.page(path_[l].page);
    if (!b) return fail();
    int32_t child = get32(slot(b, --path_[l].pos));
    int32_t want = depth_;
    int32_t rc = rightmost(l + 1, child);
    if (rc) return rc;
    if (depth_ != want) return fail();
    uint8_t* p = pg_.page(path_[depth_ - 1].page);
    if (!p) return fail();
    if (count_of(p) > 0) return 0;
  }
  return fail();
}

const uint8_t* IndexOp::entry() {
  uint8_t* p = pg_.page(path_[depth_ - 1].page);
  return p ? slot(p, path_[depth_ - 1].pos) : nullptr;
}

// Writes `key` as the greatest key of the subtree at `level` into the nearest ancestor that
// holds a separator for it (the first one where the path did not take the last child).
void IndexOp::fix_max(int32_t level, const uint8_t* key) {
  for (int32_t l = level - 1; l >= 0; --l) {
    uint8_t* p = pg_.page(path_[l].page);
    if (!p) return;
    if (path_[l].pos < count_of(p)) {
      uint8_t* sep = key_at(p, path_[l].pos);
      if (std::memcmp(sep, key, size_t(k_.key_length)) != 0) {
        std::memmove(sep, key, size_t(k_.key_length));
        pg_.mark_dirty(path_[l].page);
      }
      return;
    }
  }
}

}  // namespace database
