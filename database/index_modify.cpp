// Changes to an index tree: insertion with leaf and branch splits (a new root when the root
// splits), deletion with page freeing, separator updates, and branch pages left with a single
// child handed to a sibling or filled from a full one.
#include <vector>
#include "database/index_op.h"

namespace database {

using namespace page_bytes;

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
    std::memmove(slot(s, 0), a + (H_ + 1) * S_, size_t(keep) * S_ + 4);
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

}  // namespace database
