// The working side of the index tree, shared by its source files: the byte layout of a page,
// and one operation (IndexOp) that holds the file lock and the pager while it runs and carries
// the tree algorithms: search and walks (index_op.cpp), insert and delete (index_modify.cpp),
// and the bottom-up build of a rebuild (index_build.cpp).
//
// Page of size P with entries of S = 4 + K bytes: flags (u16) and count n (i16), then slot i
// at 4 + i*S holding a record (leaf) or child page (branch) and K key bytes. In a branch the
// last child sits at 4 + n*S, so child i of a branch is always at 4 + i*S for i = 0..n, and
// the key of child i (the greatest key of its subtree) follows it for i < n.
#pragma once
#include <cstdint>
#include <cstring>
#include <vector>
#include "database/index_pager.h"
#include "database/key_transform.h"
#include "database/index_tree.h"

namespace database {

// The most bytes of keys a rebuild sorts in memory (256 MiB); above it, or when the memory is
// not there, records are inserted one by one. Returns the previous budget (for tests).
size_t set_index_sort_budget(size_t bytes);

inline constexpr int32_t kPastEnd = -57;
inline constexpr int32_t kNoPair = -58;
inline constexpr int32_t kMaxTreeDepth = 40;       // deeper than any real tree: a deeper walk is a loop
inline constexpr uint64_t kIndexLockSpan = 0x7FFFFFFF;  // the whole-file lock of an operation


// One operation on an open tree: holds the file lock (outermost only) and the pager for its
// duration, and carries the tree algorithms.
class IndexOp {
 public:
  explicit IndexOp(IndexTree& t);
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
  int32_t insert_all(const RecordSource& records, std::vector<uint8_t>& batch);

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
  Step path_[kMaxTreeDepth];
  int32_t depth_ = 0;  // levels on the path; path_[depth_ - 1] is the leaf
  bool at_end_ = false;
};

}  // namespace database
