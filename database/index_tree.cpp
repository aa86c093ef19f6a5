// The index B+tree: search by (key, record), insertion with splits, deletion with page freeing
// and rebalancing of branch pages, cursor walks, rebuild and clear, and the open checks.
//
// Layout of a page of size P with entries of S = 4 + K bytes: flags (u16) and count n (i16),
// then slot i at 4 + i*S holding a record (leaf) or child page (branch) and K key bytes. In a
// branch the last child sits at 4 + n*S, so child i of a branch is always at 4 + i*S for
// i = 0..n, and the key of child i (the greatest key of its subtree) follows it for i < n.
#include "database/index_tree.h"
#include <algorithm>
#include <cstring>
#include <new>
#include "database/create.h"
#include "database/index_pager.h"
#include "database/key_transform.h"
#include "database/lock_retry.h"
#include "database/names.h"

namespace database {

namespace {

constexpr int32_t kNotIndex = -31;
constexpr int32_t kPastEnd = -57;
constexpr int32_t kNoPair = -58;
constexpr int32_t kMaxPageSize = 512 * 100;
constexpr int32_t kMaxDepth = 40;  // deeper than any real tree: a deeper walk is a loop
constexpr uint64_t kWholeSpan = 0x7FFFFFFF;

int32_t get32(const uint8_t* p) {
  int32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
void put32(uint8_t* p, int32_t v) { std::memcpy(p, &v, 4); }
uint16_t flags_of(const uint8_t* p) {
  uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}
int32_t count_of(const uint8_t* p) {
  int16_t v;
  std::memcpy(&v, p + 2, 2);
  return v;
}
void set_head(uint8_t* p, uint16_t flags, int32_t count) {
  int16_t c = static_cast<int16_t>(count);
  std::memcpy(p, &flags, 2);
  std::memcpy(p + 2, &c, 2);
}

// One integer key part: the commonest index, compared without the part loop.
int compare_int(const KeyShape&, const uint8_t* a, const uint8_t* b) {
  int32_t x = get32(a), y = get32(b);
  return x < y ? -1 : y < x ? 1 : 0;
}

}  // namespace

// One operation on an open tree: holds the file lock (outermost only) and the pager for its
// duration, and carries the tree algorithms.
class IndexOp {
 public:
  explicit IndexOp(IndexTree& t)
      : t_(t), pg_(*t.pager_), k_(t.key_), S_(t.key_.key_length + 4), E_(t.key_.max_entries),
        H_(t.key_.min_entries) {
    cmp_ = (k_.shape.count == 1 && k_.shape.types[0] == kInt) ? compare_int : compare_keys;
    rc_ = enter();
  }
  int32_t rc() const { return rc_; }
  // Ends the operation with result `rc`; returns the final result.
  int32_t leave(int32_t rc);

  // A key as stored: transformed when the index asks for it.
  const uint8_t* stored(const uint8_t* raw, uint8_t* buf) {
    if (!transform_needed(k_.sort_mode, k_.key_flags)) return raw;
    transform_key(k_.shape, k_.sort_mode, k_.key_flags, raw, buf);
    return buf;
  }

  int32_t insert(const uint8_t* key, int32_t record);
  int32_t remove(const uint8_t* key, int32_t record);
  // Positions the path at the first entry >= (key, record); at_end_ when there is none.
  int32_t seek(const uint8_t* key, int32_t record);
  int32_t seek_edge(bool last);
  int32_t step_forward();
  int32_t step_back();
  // The entry the path stands on (valid until the next page request).
  const uint8_t* entry();
  bool at_end() const { return at_end_; }
  int32_t bulk_load(const RecordSource& records);

 private:
  struct Step {
    int32_t page;
    int32_t pos;  // branch: chosen child 0..n; leaf: entry position 0..n
  };

  int32_t enter();
  int cmp(const uint8_t* a, const uint8_t* b) const { return cmp_(k_.shape, a, b); }
  uint8_t* slot(uint8_t* p, int32_t i) const { return p + 4 + i * S_; }
  uint8_t* key_at(uint8_t* p, int32_t i) const { return p + 8 + i * S_; }
  // A page of the tree with its head checked: flags 0 or 1, count within 0..E.
  uint8_t* node(int32_t n);
  int32_t descend(const uint8_t* key, int32_t record);
  int32_t max_record(int32_t page);
  int32_t leftmost(int32_t from_level, int32_t page);
  int32_t rightmost(int32_t from_level, int32_t page);
  void fix_max(int32_t level, const uint8_t* key);
  int32_t split_leaf(const uint8_t* key, int32_t record);
  int32_t insert_up(int32_t level, int32_t left, const uint8_t* sep, int32_t right);
  int32_t remove_child(int32_t level);
  int32_t lone_child(int32_t level);
  int32_t fail() { return pg_.rc() ? pg_.rc() : pg_.fail(kIndexPageError); }

  IndexTree& t_;
  IndexPager& pg_;
  const IndexKey& k_;
  int32_t S_, E_, H_;
  int (*cmp_)(const KeyShape&, const uint8_t*, const uint8_t*);
  int32_t rc_ = 0;
  bool entered_ = false;
  Step path_[kMaxDepth];
  int32_t depth_ = 0;  // levels on the path; path_[depth_ - 1] is the leaf
  bool at_end_ = false;
};

int32_t IndexOp::enter() {
  if (!t_.file_ || !t_.file_->is_open() || !t_.pager_) return -7;
  if (t_.depth_ > 0) {
    t_.depth_++;
    entered_ = true;
    return 0;
  }
  if (t_.lock_file_) {
    int32_t rc = lock_with_retry(*t_.file_, 0, kWholeSpan, lock_retry_time());
    if (rc) return rc;
  }
  t_.depth_++;
  entered_ = true;
  int32_t rc = pg_.begin(t_.keep_cache_);
  const IndexHeader& h = pg_.header();
  if (rc == 0 && (h.key_length != k_.key_length || h.part_count != k_.shape.count)) rc = kIndexPageError;
  return rc;
}

int32_t IndexOp::leave(int32_t rc) {
  if (rc == 0) rc = rc_;
  if (!entered_) return rc;
  entered_ = false;
  if (--t_.depth_ > 0) return rc;
  rc = pg_.finish(rc, t_.keep_cache_);
  t_.header_ = pg_.header();
  if (t_.lock_file_) t_.file_->unlock(0, kWholeSpan);
  return rc;
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
  for (int32_t d = 0; d < kMaxDepth; ++d) {
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
    if (depth_ == kMaxDepth) return fail();
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
    if (depth_ == kMaxDepth) return fail();
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
    if (depth_ == kMaxDepth) return fail();
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

int32_t IndexOp::insert(const uint8_t* key, int32_t record) {
  int32_t rc = descend(key, record);
  if (rc) return rc;
  Step leaf = path_[depth_ - 1];
  uint8_t* p = pg_.page(leaf.page);
  if (!p) return fail();
  int32_t n = count_of(p);
  if (leaf.pos < n && get32(slot(p, leaf.pos)) == record && cmp(key_at(p, leaf.pos), key) == 0) return 0;
  if (n >= E_) return split_leaf(key, record);
  uint8_t* at = slot(p, leaf.pos);
  std::memmove(at + S_, at, size_t(n - leaf.pos) * S_);
  put32(at, record);
  std::memcpy(at + 4, key, size_t(k_.key_length));
  set_head(p, kLeafPage, n + 1);
  pg_.mark_dirty(leaf.page);
  if (leaf.pos == n) fix_max(depth_ - 1, key);  // a new greatest key (only past stale separators)
  return pg_.rc();
}

int32_t IndexOp::split_leaf(const uint8_t* key, int32_t record) {
  Step leaf = path_[depth_ - 1];
  int32_t right = 0;
  uint8_t* r = pg_.take(&right);
  uint8_t* p = pg_.page(leaf.page);
  if (!r || !p) return fail();
  // The E + 1 entries in order, then the left keeps H and the right takes the rest.
  std::vector<uint8_t> all(size_t(E_ + 1) * S_);
  uint8_t* a = all.data();
  std::memcpy(a, slot(p, 0), size_t(leaf.pos) * S_);
  put32(a + leaf.pos * S_, record);
  std::memcpy(a + leaf.pos * S_ + 4, key, size_t(k_.key_length));
  std::memcpy(a + (leaf.pos + 1) * S_, slot(p, leaf.pos), size_t(E_ - leaf.pos) * S_);
  std::memset(slot(p, 0), 0, size_t(t_.key_.page_size - 4));
  std::memcpy(slot(p, 0), a, size_t(H_) * S_);
  set_head(p, kLeafPage, H_);
  std::memcpy(slot(r, 0), a + H_ * S_, size_t(E_ + 1 - H_) * S_);
  set_head(r, kLeafPage, E_ + 1 - H_);
  pg_.mark_dirty(leaf.page);
  if (leaf.pos == E_) fix_max(depth_ - 1, key);
  return insert_up(depth_ - 2, leaf.page, a + (H_ - 1) * S_ + 4, right);
}

// Puts separator `sep` for child `left` into the branch at `level`, with `right` as the child
// after it (left was the child the path took there). A full branch splits; a split root gets a
// new root above it.
int32_t IndexOp::insert_up(int32_t level, int32_t left, const uint8_t* sep_in, int32_t right) {
  uint8_t sep[kMaxKeyLength];
  std::memcpy(sep, sep_in, size_t(k_.key_length));
  std::vector<uint8_t> all;
  for (; level >= 0; --level) {
    Step b = path_[level];
    uint8_t* p = pg_.page(b.page);
    if (!p) return fail();
    int32_t n = count_of(p);
    if (n < E_) {
      uint8_t* at = slot(p, b.pos);
      std::memmove(at + S_, at, size_t(n - b.pos) * S_ + 4);
      put32(at, left);
      std::memcpy(at + 4, sep, size_t(k_.key_length));
      put32(at + S_, right);
      set_head(p, kBranchPage, n + 1);
      pg_.mark_dirty(b.page);
      return pg_.rc();
    }
    int32_t fresh = 0;
    uint8_t* r = pg_.take(&fresh);
    p = pg_.page(b.page);
    if (!r || !p) return fail();
    // E + 1 keys and E + 2 children; the left keeps H keys, key H goes up.
    all.assign(size_t(E_ + 1) * S_ + 4, 0);
    uint8_t* a = all.data();
    std::memcpy(a, slot(p, 0), size_t(b.pos) * S_);
    put32(a + b.pos * S_, left);
    std::memcpy(a + b.pos * S_ + 4, sep, size_t(k_.key_length));
    std::memcpy(a + (b.pos + 1) * S_, slot(p, b.pos), size_t(E_ - b.pos) * S_ + 4);
    put32(a + (b.pos + 1) * S_, right);
    std::memset(slot(p, 0), 0, size_t(t_.key_.page_size - 4));
    std::memcpy(slot(p, 0), a, size_t(H_) * S_ + 4);
    set_head(p, kBranchPage, H_);
    std::memcpy(slot(r, 0), a + (H_ + 1) * S_, size_t(E_ - H_) * S_ + 4);
    set_head(r, kBranchPage, E_ - H_);
    pg_.mark_dirty(b.page);
    std::memcpy(sep, a + H_ * S_ + 4, size_t(k_.key_length));
    left = b.page;
    right = fresh;
  }
  // The root split: a new root with one separator.
  int32_t root = 0;
  uint8_t* p = pg_.take(&root);
  if (!p) return fail();
  put32(slot(p, 0), left);
  std::memcpy(key_at(p, 0), sep, size_t(k_.key_length));
  put32(slot(p, 1), right);
  set_head(p, kBranchPage, 1);
  pg_.header().root = root;
  return pg_.rc();
}

int32_t IndexOp::remove(const uint8_t* key, int32_t record) {
  int32_t rc = descend(key, record);
  if (rc) return rc;
  Step leaf = path_[depth_ - 1];
  uint8_t* p = pg_.page(leaf.page);
  if (!p) return fail();
  int32_t n = count_of(p);
  if (leaf.pos >= n || get32(slot(p, leaf.pos)) != record || cmp(key_at(p, leaf.pos), key) != 0) return kNoPair;
  if (n >= 2 || depth_ == 1) {
    uint8_t* at = slot(p, leaf.pos);
    std::memmove(at, at + S_, size_t(n - 1 - leaf.pos) * S_);
    std::memset(slot(p, n - 1), 0, size_t(S_));
    set_head(p, kLeafPage, n - 1);
    pg_.mark_dirty(leaf.page);
    if (leaf.pos == n - 1 && n >= 2) {
      uint8_t last[kMaxKeyLength];
      std::memcpy(last, key_at(p, n - 2), size_t(k_.key_length));
      fix_max(depth_ - 1, last);
    }
    return pg_.rc();
  }
  // The leaf's only entry: the page goes, and its place in the parent.
  if (pg_.release(leaf.page)) return pg_.rc();
  return remove_child(depth_ - 2);
}

// Removes the child the path took at `level` (its page already freed) from that branch.
int32_t IndexOp::remove_child(int32_t level) {
  Step b = path_[level];
  uint8_t* p = pg_.page(b.page);
  if (!p) return fail();
  int32_t n = count_of(p);
  if (n < 1 || flags_of(p) != kBranchPage) return fail();
  if (b.pos < n) {
    // Child c and its key.
    uint8_t* at = slot(p, b.pos);
    std::memmove(at, at + S_, size_t(n - b.pos - 1) * S_ + 4);
  } else {
    // The last child and the key before it: child n - 1 becomes the last child, and the
    // greatest key of this branch is now that key.
    uint8_t maxkey[kMaxKeyLength];
    std::memcpy(maxkey, key_at(p, n - 1), size_t(k_.key_length));
    pg_.mark_dirty(b.page);
    fix_max(level, maxkey);
    p = pg_.page(b.page);
    if (!p) return fail();
  }
  std::memset(slot(p, n - 1) + 4, 0, size_t(S_));
  set_head(p, kBranchPage, n - 1);
  pg_.mark_dirty(b.page);
  if (n - 1 == 0) return lone_child(level);
  return pg_.rc();
}

// The branch at `level` has a single child left: the root hands over to it; another branch
// gives it to a sibling with room, or takes entries from a full sibling.
int32_t IndexOp::lone_child(int32_t level) {
  Step b = path_[level];
  uint8_t* p = pg_.page(b.page);
  if (!p) return fail();
  int32_t child = get32(slot(p, 0));
  if (level == 0) {
    pg_.header().root = child;
    pg_.release(b.page);
    return pg_.rc();
  }
  Step up = path_[level - 1];
  uint8_t* parent = pg_.page(up.page);
  if (!parent) return fail();
  int32_t pn = count_of(parent), c = up.pos;
  int32_t left = c > 0 ? get32(slot(parent, c - 1)) : 0;
  int32_t right = c < pn ? get32(slot(parent, c + 1)) : 0;
  const size_t K = size_t(k_.key_length);
  uint8_t* lp = left ? node(left) : nullptr;
  if (left && !lp) return fail();
  if (lp && flags_of(lp) == kBranchPage && count_of(lp) < E_) {
    // Appended to the left sibling as its last child; the left's old last child gets the
    // left's separator as its key.
    parent = pg_.page(up.page);
    if (!parent) return fail();
    int32_t m = count_of(lp);
    std::memcpy(key_at(lp, m), key_at(parent, c - 1), K);
    put32(slot(lp, m + 1), child);
    set_head(lp, kBranchPage, m + 1);
    pg_.mark_dirty(left);
    // Drop the left's separator and this page's child slot: the left now ends where this
    // page ended.
    uint8_t* at = key_at(parent, c - 1);
    size_t tail = size_t(4 + pn * S_ + 4) - size_t(at + S_ - parent);
    std::memmove(at, at + S_, tail);
    std::memset(parent + 4 + (pn - 1) * S_ + 4, 0, size_t(S_));
    set_head(parent, kBranchPage, pn - 1);
    pg_.mark_dirty(up.page);
    if (pg_.release(b.page)) return pg_.rc();
    return pn - 1 == 0 ? lone_child(level - 1) : pg_.rc();
  }
  uint8_t* rp = right ? node(right) : nullptr;
  if (right && !rp) return fail();
  if (rp && flags_of(rp) == kBranchPage && count_of(rp) < E_) {
    // Inserted into the right sibling as its first child, with this page's separator.
    parent = pg_.page(up.page);
    if (!parent) return fail();
    int32_t m = count_of(rp);
    std::memmove(slot(rp, 1), slot(rp, 0), size_t(m) * S_ + 4);
    put32(slot(rp, 0), child);
    std::memcpy(key_at(rp, 0), key_at(parent, c), K);
    set_head(rp, kBranchPage, m + 1);
    pg_.mark_dirty(right);
    uint8_t* at = slot(parent, c);
    std::memmove(at, at + S_, size_t(pn - c - 1) * S_ + 4);
    std::memset(parent + 4 + (pn - 1) * S_ + 4, 0, size_t(S_));
    set_head(parent, kBranchPage, pn - 1);
    pg_.mark_dirty(up.page);
    if (pg_.release(b.page)) return pg_.rc();
    return pn - 1 == 0 ? lone_child(level - 1) : pg_.rc();
  }
  // Neither sibling has room: take entries so that this page ends with H.
  bool from_right = (c == 0);
  int32_t sib = from_right ? right : left;
  uint8_t* s = from_right ? rp : lp;
  if (!sib || !s || flags_of(s) != kBranchPage || count_of(s) != E_) return fail();
  parent = pg_.page(up.page);
  p = pg_.page(b.page);
  s = pg_.page(sib);
  if (!parent || !p || !s) return fail();
  std::vector<uint8_t> run(size_t(E_ + 2) * S_, 0);
  uint8_t* a = run.data();
  if (from_right) {
    // This page's child with its separator, then the right's children; the page takes the
    // first H + 1 children.
    put32(a, child);
    std::memcpy(a + 4, key_at(parent, c), K);
    std::memcpy(a + S_, slot(s, 0), size_t(E_) * S_ + 4);
    std::memset(p + 4, 0, size_t(t_.key_.page_size - 4));
    std::memcpy(slot(p, 0), a, size_t(H_) * S_ + 4);
    set_head(p, kBranchPage, H_);
    std::memcpy(key_at(parent, c), a + H_ * S_ + 4, K);
    int32_t keep = E_ - H_;
    std::memmove(slot(s, 0), a + (H_ + 1) * S_ - S_ + S_, size_t(keep) * S_ + 4);
    std::memset(slot(s, keep) + 4, 0, size_t(E_ - keep) * S_);
  } else {
    // The left's children with its separator as the last one's key, then this page's child;
    // the page takes the last H + 1 children.
    std::memcpy(a, slot(s, 0), size_t(E_) * S_ + 4);
    std::memcpy(a + E_ * S_ + 4, key_at(parent, c - 1), K);
    put32(a + (E_ + 1) * S_, child);
    int32_t keep = E_ - H_;  // keys left in the sibling
    std::memset(p + 4, 0, size_t(t_.key_.page_size - 4));
    std::memcpy(slot(p, 0), a + (keep + 1) * S_, size_t(H_) * S_ + 4);
    set_head(p, kBranchPage, H_);
    std::memcpy(key_at(parent, c - 1), a + keep * S_ + 4, K);
    std::memset(key_at(s, keep), 0, size_t(E_ - keep) * S_);
  }
  set_head(s, kBranchPage, E_ - H_);
  pg_.mark_dirty(sib);
  pg_.mark_dirty(b.page);
  pg_.mark_dirty(up.page);
  return pg_.rc();
}

// Rebuild: every record's key, sorted by (key, record), laid out bottom up in full pages.
int32_t IndexOp::bulk_load(const RecordSource& src) {
  if (src.count <= 0) return pg_.reset() ? pg_.rc() : 0;
  if (src.record_length <= 0 || !src.read) return -62;
  const size_t K = size_t(k_.key_length);
  const int32_t P = k_.page_size;
  std::vector<uint8_t> entries;
  std::vector<uint32_t> order;
  std::vector<uint8_t> batch;
  try {
    entries.resize(size_t(src.count) * S_);
    order.resize(size_t(src.count));
    int32_t per = std::max<int32_t>(1, 163840 / src.record_length);
    batch.resize(size_t(std::min(per, src.count)) * uint32_t(src.record_length));
  } catch (const std::bad_alloc&) {
    return -45;
  }
  uint8_t raw[kMaxKeyLength];
  int32_t per = int32_t(batch.size() / uint32_t(src.record_length));
  for (int32_t first = 0; first < src.count; first += per) {
    int32_t n = std::min(per, src.count - first);
    int32_t rc = src.read(first, n, batch.data());
    if (rc) return rc;
    for (int32_t i = 0; i < n; ++i) {
      int32_t r = first + i;
      uint8_t* e = entries.data() + size_t(r) * S_;
      put32(e, r);
      t_.key_of_record(batch.data() + size_t(i) * uint32_t(src.record_length), raw);
      const uint8_t* k = stored(raw, e + 4);
      if (k != e + 4) std::memcpy(e + 4, k, K);
      order[size_t(r)] = uint32_t(r);
    }
  }
  const uint8_t* base = entries.data();
  auto less = [&](uint32_t x, uint32_t y) {
    int c = cmp(base + size_t(x) * S_ + 4, base + size_t(y) * S_ + 4);
    return c < 0 || (c == 0 && x < y);
  };
  if (!std::is_sorted(order.begin(), order.end(), less)) std::sort(order.begin(), order.end(), less);
  // Only now, with every record read, the old tree goes: a failed read leaves it whole.
  if (pg_.reset()) return pg_.rc();

  // Pages are numbered from 1 in the order they are built: the leaves, then each branch level.
  struct Child {
    int32_t page;
    uint32_t max_entry;  // the entry whose key is the subtree's greatest
  };
  std::vector<Child> level, up;
  std::vector<uint8_t> out;
  int32_t next_page = 1;
  auto spread = [](int32_t items, int32_t cap, int32_t i, int32_t groups) {
    (void)cap;
    return items / groups + (i < items % groups ? 1 : 0);
  };
  {
    int32_t total = src.count;
    int32_t leaves = (total + E_ - 1) / E_;
    out.assign(size_t(leaves) * P, 0);
    int32_t at = 0;
    for (int32_t l = 0; l < leaves; ++l) {
      int32_t n = spread(total, E_, l, leaves);
      uint8_t* p = out.data() + size_t(l) * P;
      set_head(p, kLeafPage, n);
      for (int32_t i = 0; i < n; ++i) std::memcpy(slot(p, i), base + size_t(order[size_t(at + i)]) * S_, size_t(S_));
      at += n;
      level.push_back({next_page + l, order[size_t(at - 1)]});
    }
    int32_t rc = t_.file_->write_at(uint64_t(next_page) * uint32_t(P), out.data(), uint32_t(out.size()));
    if (rc) return rc;
    next_page += leaves;
  }
  while (level.size() > 1) {
    int32_t total = int32_t(level.size());
    int32_t groups = (total + E_) / (E_ + 1);
    out.assign(size_t(groups) * P, 0);
    up.clear();
    int32_t at = 0;
    for (int32_t g = 0; g < groups; ++g) {
      int32_t n = spread(total, E_ + 1, g, groups);  // children, >= 2
      uint8_t* p = out.data() + size_t(g) * P;
      set_head(p, kBranchPage, n - 1);
      for (int32_t i = 0; i < n; ++i) {
        const Child& ch = level[size_t(at + i)];
        put32(slot(p, i), ch.page);
        if (i < n - 1) std::memcpy(key_at(p, i), base + size_t(ch.max_entry) * S_ + 4, K);
      }
      at += n;
      up.push_back({next_page + g, level[size_t(at - 1)].max_entry});
    }
    int32_t rc = t_.file_->write_at(uint64_t(next_page) * uint32_t(P), out.data(), uint32_t(out.size()));
    if (rc) return rc;
    next_page += groups;
    level.swap(up);
  }
  IndexHeader& h = pg_.header();
  h.root = level[0].page;
  h.page_count = next_page;
  return 0;
}

// ---------------------------------------------------------------------------------------

IndexTree::IndexTree() = default;
IndexTree::~IndexTree() { close(); }

bool IndexTree::is_open() const { return file_ && file_->is_open(); }

void IndexTree::close() {
  pager_.reset();
  if (file_) file_->close();
  file_.reset();
  depth_ = 0;
}

int32_t IndexTree::flush() { return is_open() ? file_->flush() : 0; }

void IndexTree::set_keep_cache(bool keep) {
  keep_cache_ = keep;
  if (pager_) pager_->drop();
}

void IndexTree::key_of_record(const uint8_t* record, uint8_t* key) const {
  for (int32_t p = 0; p < key_.shape.count; ++p) {
    int32_t n = key_.shape.size(p);
    std::memcpy(key, record + key_.offsets[p], size_t(n));
    key += n;
  }
}

int32_t IndexTree::open(const std::string& path, bool write, Share share, const std::vector<FieldDescriptor>& fields,
                        int32_t version) {
  auto file = std::make_unique<DbFile>();
  if (open_with_retry(*file, path, write, share)) {
    close();
    return -30;
  }
  return attach(std::move(file), write, share, fields, version);
}

int32_t IndexTree::attach(std::unique_ptr<DbFile> file, bool write, Share share,
                          const std::vector<FieldDescriptor>& fields, int32_t version) {
  close();
  file_ = std::move(file);
  if (!file_ || !file_->is_open()) {
    close();
    return -30;
  }
  lock_file_ = share != Share::kExclusive;
  if (lock_file_) {
    int32_t rc = lock_with_retry(*file_, 0, kWholeSpan, lock_retry_time());
    if (rc) {
      close();
      return rc;
    }
  }
  int32_t rc = check_open(fields, version);
  if (lock_file_) file_->unlock(0, kWholeSpan);
  if (rc) {
    close();
    return rc;
  }
  writable_ = write;
  keep_cache_ = share == Share::kExclusive || share == Share::kDenyWrite;
  pager_ = std::make_unique<IndexPager>(*file_, key_.page_size);
  return 0;
}

int32_t IndexTree::check_open(const std::vector<FieldDescriptor>& fields, int32_t version) {
  IndexHeader h{};
  uint32_t got = 0;
  if (file_->read_at(0, &h, sizeof h, &got) || got != sizeof h) return kNotIndex;
  uint64_t length = 0;
  if (file_->size(&length)) return kNotIndex;
  // Pages above the largest size a factor gives are refused: the cache holds 18 of them.
  if (h.page_size > kMaxPageSize) return kNotIndex;
  IndexKey k;
  int32_t rc = check_index_header(h, length, &k.shape);
  if (rc) return rc;
  if (h.version != version) return -32;
  for (int32_t p = 0; p < h.part_count; ++p) {
    std::string name(h.names[p]);
    for (int32_t q = 0; q < p; ++q)
      if (same_name(name, h.names[q])) return kNotIndex;
    int32_t f = 0, nf = int32_t(fields.size());
    for (; f < nf; ++f)
      if (same_name(name, std::string(fields[size_t(f)].name, strnlen(fields[size_t(f)].name, 17)))) break;
    if (f == nf) return -43;
    const FieldDescriptor& d = fields[size_t(f)];
    int32_t t = h.types[p];
    if ((t < 0 ? kText : t) != d.type) return -54;
    if ((t < 0 ? -t : field_size(t, 0)) != field_size(d.type, d.text_size)) return -53;
    k.fields[p] = f;
    k.offsets[p] = d.offset;
  }
  k.sort_mode = h.sort_mode;
  k.key_flags = h.key_flags;
  k.page_size = h.page_size;
  k.key_length = h.key_length;
  k.max_entries = max_entries(h.page_size, h.key_length);
  k.min_entries = min_entries(h.page_size, h.key_length);
  key_ = k;
  header_ = h;
  return 0;
}

int32_t resolve_key_fields(const std::vector<FieldDescriptor>& fields, const std::vector<std::string>& names,
                           std::vector<int32_t>* out) {
  out->clear();
  if (names.size() > size_t(kMaxKeyParts)) return -39;
  int32_t length = 0;
  for (const std::string& name : names) {
    if (name.empty()) return -18;
    int32_t f = 0, nf = int32_t(fields.size());
    for (; f < nf; ++f)
      if (same_name(name, std::string(fields[size_t(f)].name, strnlen(fields[size_t(f)].name, 17)))) break;
    if (f == nf) return -40;
    if (chained_type(fields[size_t(f)].type)) return -42;
    if (std::find(out->begin(), out->end(), f) != out->end()) return -20;
    out->push_back(f);
    length += field_size(fields[size_t(f)].type, fields[size_t(f)].text_size);
  }
  if (length > kMaxKeyLength) return -56;
  if (out->empty() || length == 0) return -16;
  return 0;
}

int32_t records_in_file(DbFile& db, uint32_t data_start, int32_t record_length, RecordSource* out) {
  int32_t count = 0;
  int32_t rc = db.read_exact(16, &count, 4, -65);
  if (rc) return rc;
  out->count = count < 0 ? 0 : count;
  out->record_length = record_length;
  DbFile* f = &db;
  out->read = [f, data_start, record_length](int32_t first, int32_t n, uint8_t* buf) {
    return f->read_exact(data_start + uint64_t(first) * uint32_t(record_length), buf,
                         uint32_t(n) * uint32_t(record_length), -62);
  };
  return 0;
}

int32_t IndexTree::create(const std::string& path, const std::vector<FieldDescriptor>& fields, int32_t version,
                          const IndexDef& def, const RecordSource& records) {
  close();
  constexpr int32_t kCreateFailed = -41;
  IndexHeader h{};
  std::memcpy(h.magic, kIndexMagic, 4);
  h.version = version;
  h.created = date_time_now();
  h.sort_mode = def.sort_mode;
  h.key_flags = def.key_flags & 3;
  h.page_count = 2;
  h.root = 1;
  int32_t factor = std::clamp(def.page_factor, 1, 100);
  h.page_size = 512 * factor;
  if (def.fields.empty()) return -16;
  if (def.fields.size() > size_t(kMaxKeyParts)) return -39;
  h.part_count = int32_t(def.fields.size());
  IndexKey k;
  k.shape.count = h.part_count;
  for (int32_t p = 0; p < h.part_count; ++p) {
    int32_t f = def.fields[size_t(p)];
    if (f < 0 || f >= int32_t(fields.size())) return -40;
    const FieldDescriptor& d = fields[size_t(f)];
    if (chained_type(d.type)) return -42;
    for (int32_t q = 0; q < p; ++q)
      if (def.fields[size_t(q)] == f) return -20;
    std::memcpy(h.names[p], d.name, strnlen(d.name, 16));
    h.types[p] = d.type == kText ? -d.text_size : d.type;
    k.shape.types[p] = h.types[p];
    k.fields[p] = f;
    k.offsets[p] = d.offset;
  }
  h.key_length = k.shape.length();
  if (h.key_length > kMaxKeyLength) return -56;
  if (h.key_length <= 0) return -16;
  k.sort_mode = h.sort_mode;
  k.key_flags = h.key_flags;
  k.page_size = h.page_size;
  k.key_length = h.key_length;
  k.max_entries = max_entries(h.page_size, h.key_length);
  k.min_entries = min_entries(h.page_size, h.key_length);

  file_ = std::make_unique<DbFile>();
  if (file_->open(path, true, Share::kExclusive, true)) {
    close();
    return kCreateFailed;
  }
  key_ = k;
  header_ = h;
  lock_file_ = false;
  keep_cache_ = false;
  writable_ = true;
  pager_ = std::make_unique<IndexPager>(*file_, k.page_size);
  int32_t rc = file_->write_at(0, &h, sizeof h) ? kCreateFailed : 0;
  if (rc == 0) rc = rebuild(records);
  close();
  if (rc) {
    // Nothing half made stays behind: the file is new, so it is ours to remove.
    DeleteFileA(path.c_str());
    return rc;
  }
  return open(path, true, Share::kAll, fields, version);
}

int32_t IndexTree::insert(const uint8_t* key, int32_t record) {
  IndexOp op(*this);
  if (op.rc()) return op.leave(0);
  uint8_t buf[kMaxKeyLength];
  return op.leave(op.insert(op.stored(key, buf), record));
}

int32_t IndexTree::remove(const uint8_t* key, int32_t record) {
  IndexOp op(*this);
  if (op.rc()) return op.leave(0);
  uint8_t buf[kMaxKeyLength];
  return op.leave(op.remove(op.stored(key, buf), record));
}

int32_t IndexTree::update(const uint8_t* old_key, const uint8_t* new_key, int32_t record) {
  size_t K = size_t(key_.key_length);
  if (std::memcmp(old_key, new_key, K) == 0) return 0;
  uint8_t a[kMaxKeyLength], b[kMaxKeyLength];
  if (transform_needed(key_.sort_mode, key_.key_flags)) {
    transform_key(key_.shape, key_.sort_mode, key_.key_flags, old_key, a);
    transform_key(key_.shape, key_.sort_mode, key_.key_flags, new_key, b);
  } else {
    std::memcpy(a, old_key, K);
    std::memcpy(b, new_key, K);
  }
  if (std::memcmp(a, b, K) == 0) return 0;
  IndexOp op(*this);
  if (op.rc()) return op.leave(0);
  int32_t rc = op.remove(a, record);
  if (rc == 0) rc = op.insert(b, record);
  return op.leave(rc);
}

int32_t IndexTree::find(const uint8_t* key, int32_t start, int32_t* record) {
  *record = -1;
  IndexOp op(*this);
  if (op.rc()) return op.leave(0);
  uint8_t buf[kMaxKeyLength];
  const uint8_t* k = op.stored(key, buf);
  int32_t rc = op.seek(k, start < 0 ? 0 : start);
  if (rc == 0 && !op.at_end()) {
    const uint8_t* e = op.entry();
    if (!e) rc = kIndexPageError;
    else if (compare_keys(key_.shape, e + 4, k) == 0) *record = get32(e);
  }
  return op.leave(rc);
}

namespace {

int32_t fill_cursor(IndexOp& op, int32_t key_length, IndexCursor* at) {
  if (op.at_end()) return kPastEnd;
  const uint8_t* e = op.entry();
  if (!e) return kIndexPageError;
  at->record = get32(e);
  std::memcpy(at->key, e + 4, size_t(key_length));
  return 0;
}

}  // namespace

int32_t IndexTree::seek(const uint8_t* key, int32_t start, IndexCursor* at) {
  IndexOp op(*this);
  if (op.rc()) return op.leave(0);
  uint8_t buf[kMaxKeyLength];
  int32_t rc = op.seek(op.stored(key, buf), start < 0 ? 0 : start);
  if (rc == 0) rc = fill_cursor(op, key_.key_length, at);
  return op.leave(rc);
}

int32_t IndexTree::first(IndexCursor* at) {
  IndexOp op(*this);
  if (op.rc()) return op.leave(0);
  int32_t rc = op.seek_edge(false);
  if (rc == 0) rc = fill_cursor(op, key_.key_length, at);
  return op.leave(rc);
}

int32_t IndexTree::last(IndexCursor* at) {
  IndexOp op(*this);
  if (op.rc()) return op.leave(0);
  int32_t rc = op.seek_edge(true);
  if (rc == 0) rc = fill_cursor(op, key_.key_length, at);
  return op.leave(rc);
}

int32_t IndexTree::next(IndexCursor* at) {
  IndexOp op(*this);
  if (op.rc()) return op.leave(0);
  int32_t rc = op.seek(at->key, at->record);
  if (rc == 0 && !op.at_end()) {
    const uint8_t* e = op.entry();
    if (!e) rc = kIndexPageError;
    else if (get32(e) == at->record && compare_keys(key_.shape, e + 4, at->key) == 0) rc = op.step_forward();
  }
  if (rc == 0) rc = fill_cursor(op, key_.key_length, at);
  return op.leave(rc);
}

int32_t IndexTree::prev(IndexCursor* at) {
  IndexOp op(*this);
  if (op.rc()) return op.leave(0);
  int32_t rc = op.seek(at->key, at->record);
  if (rc == 0) {
    if (op.at_end()) rc = op.seek_edge(true);  // everything is before it: the last entry
    else rc = op.step_back();
  }
  if (rc == 0) rc = fill_cursor(op, key_.key_length, at);
  return op.leave(rc);
}

int32_t IndexTree::scan(const std::function<bool(int32_t record, const uint8_t* key)>& visit) {
  IndexOp op(*this);
  if (op.rc()) return op.leave(0);
  int32_t rc = op.seek_edge(false);
  uint8_t key[kMaxKeyLength];
  // More entries than the pages can hold means a page is reached twice: a damaged file.
  int64_t limit = int64_t(pager_->header().page_count) * key_.max_entries, visited = 0;
  while (rc == 0 && !op.at_end()) {
    const uint8_t* e = op.entry();
    if (!e || ++visited > limit) {
      rc = kIndexPageError;
      break;
    }
    std::memcpy(key, e + 4, size_t(key_.key_length));
    if (!visit(get32(e), key)) break;
    rc = op.step_forward();
  }
  return op.leave(rc);
}

int32_t IndexTree::rebuild(const RecordSource& records) {
  IndexOp op(*this);
  if (op.rc()) return op.leave(0);
  return op.leave(op.bulk_load(records));
}

int32_t IndexTree::clear() {
  RecordSource none;
  return rebuild(none);
}

}  // namespace database
