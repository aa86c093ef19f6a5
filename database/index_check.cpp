// Walks an index file page by page without trusting any of it and reports what is wrong.
#include "database/index_check.h"
#include <cstring>
#include <new>
#include "database/index_op.h"
#include "database/key_transform.h"
#include "database/lock_retry.h"

namespace database {

using namespace page_bytes;

namespace {

enum : uint8_t { kUnseen, kInTree, kOnFreeList };

class Checker {
 public:
  Checker(DbFile& f, const IndexKey& k, const IndexHeader& h, IndexReport& r)
      : f_(f), k_(k), h_(h), r_(r), S_(k.key_length + 4), E_(k.max_entries), state_(size_t(h.page_count), kUnseen) {
    state_[0] = kInTree;  // the header page
  }

  int32_t rc = 0;
  int32_t record_count = -1;
  const std::vector<uint8_t>* expected = nullptr;  // stored key of each record
  std::vector<uint8_t> seen;                        // records met in the tree

  void fault(int32_t page, int32_t entry, std::string what) {
    if (r_.faults.size() < IndexReport::kMaxFaults) r_.faults.push_back({page, entry, std::move(what)});
  }

  // Checks the subtree at `page`; `max` receives its greatest key (false when it has none).
  bool walk(int32_t page, int32_t depth, bool root, uint8_t* max) {
    if (rc) return false;
    if (page < 1 || page >= h_.page_count) {
      fault(page, -1, "child page outside the file's page count");
      return false;
    }
    if (state_[size_t(page)] != kUnseen) {
      fault(page, -1, "page reached twice in the tree");
      return false;
    }
    state_[size_t(page)] = kInTree;
    if (depth >= kMaxTreeDepth) {
      fault(page, -1, "tree deeper than " + std::to_string(kMaxTreeDepth) + " levels");
      return false;
    }
    std::vector<uint8_t> p(size_t(k_.page_size));
    rc = f_.read_exact(uint64_t(page) * uint32_t(k_.page_size), p.data(), uint32_t(p.size()), kIndexPageError);
    if (rc) return false;
    uint16_t flags = flags_of(p.data());
    int32_t n = count_of(p.data());
    if (flags != kLeafPage && flags != kBranchPage) {
      fault(page, -1, "page in the tree with flags " + std::to_string(flags));
      return false;
    }
    if (n < 0 || n > E_) {
      fault(page, -1, "entry count " + std::to_string(n) + " outside 0.." + std::to_string(E_));
      return false;
    }
    if (flags == kLeafPage) return leaf(page, p.data(), n, depth, root, max);
    ++r_.branches;
    if (n < 1) fault(page, -1, "branch page with a single child");
    uint8_t child_max[kMaxKeyLength];
    bool any = false;
    for (int32_t i = 0; i <= n && rc == 0; ++i) {
      const uint8_t* s = p.data() + 4 + i * S_;
      if (!walk(get32(s), depth + 1, false, child_max)) continue;
      any = true;
      if (i < n && std::memcmp(child_max, s + 4, size_t(k_.key_length)) != 0 &&
          compare_keys(k_.shape, child_max, s + 4) != 0)
        fault(page, i, "separator is not the greatest key of its child");
      std::memcpy(max, child_max, size_t(k_.key_length));
    }
    return any;
  }

  bool leaf(int32_t page, const uint8_t* p, int32_t n, int32_t depth, bool root, uint8_t* max) {
    ++r_.leaves;
    if (leaf_depth_ < 0) leaf_depth_ = depth, r_.height = depth + 1;
    else if (depth != leaf_depth_) fault(page, -1, "leaf at another depth than the others");
    if (n < 1 && !root) fault(page, -1, "empty leaf that is not the root");
    for (int32_t i = 0; i < n; ++i) {
      const uint8_t* e = p + 4 + i * S_;
      int32_t rec = get32(e);
      ++r_.entries;
      if (has_prev_) {
        int c = compare_keys(k_.shape, prev_key_, e + 4);
        if (c > 0) fault(page, i, "key out of order");
        else if (c == 0 && prev_rec_ >= rec) fault(page, i, "equal keys out of record order");
      }
      has_prev_ = true;
      prev_rec_ = rec;
      std::memcpy(prev_key_, e + 4, size_t(k_.key_length));
      if (record_count >= 0 && (rec < 0 || rec >= record_count)) {
        fault(page, i, "record " + std::to_string(rec) + " outside the database's " + std::to_string(record_count));
        continue;
      }
      if (expected && rec >= 0 && size_t(rec) < seen.size()) {
        if (seen[size_t(rec)]) fault(page, i, "record " + std::to_string(rec) + " indexed twice");
        seen[size_t(rec)] = 1;
        if (std::memcmp(expected->data() + size_t(rec) * size_t(k_.key_length), e + 4, size_t(k_.key_length)) != 0)
          fault(page, i, "record " + std::to_string(rec) + " under a key that is not its own");
      }
    }
    if (n > 0) std::memcpy(max, p + 4 + (n - 1) * S_ + 4, size_t(k_.key_length));
    return n > 0;
  }

  void free_list() {
    int32_t prev = 0, page = h_.free_head, count = 0;
    std::vector<uint8_t> p(12);
    while (page != 0 && rc == 0) {
      if (page < 1 || page >= h_.page_count) {
        fault(prev, -1, "free list link outside the file's page count");
        break;
      }
      if (state_[size_t(page)] != kUnseen) {
        fault(page, -1, state_[size_t(page)] == kInTree ? "page both in the tree and on the free list"
                                                         : "free list runs in a circle");
        break;
      }
      state_[size_t(page)] = kOnFreeList;
      rc = f_.read_exact(uint64_t(page) * uint32_t(k_.page_size), p.data(), 12, kIndexPageError);
      if (rc) break;
      if (!is_free(p.data())) fault(page, -1, "page on the free list not marked free");
      if (get32(p.data() + kFreePrev) != prev) fault(page, -1, "free page's previous link is wrong");
      ++count;
      prev = page;
      page = get32(p.data() + kFreeNext);
    }
    r_.free_pages = count;
    if (rc == 0 && count != h_.free_count)
      fault(0, -1, "free count " + std::to_string(h_.free_count) + " but " + std::to_string(count) + " free pages");
  }

  void unaccounted() {
    for (int32_t i = 1; i < h_.page_count; ++i)
      if (state_[size_t(i)] == kUnseen) fault(i, -1, "page neither in the tree nor on the free list");
  }

 private:
  DbFile& f_;
  const IndexKey& k_;
  const IndexHeader& h_;
  IndexReport& r_;
  int32_t S_, E_;
  std::vector<uint8_t> state_;
  int32_t leaf_depth_ = -1;
  bool has_prev_ = false;
  int32_t prev_rec_ = 0;
  uint8_t prev_key_[kMaxKeyLength] = {};
};

// The stored key of every record, from the records themselves.
int32_t expected_keys(const IndexTree& tree, const RecordSource& src, std::vector<uint8_t>* out) {
  const IndexKey& k = tree.key();
  if (src.count <= 0) return 0;
  if (src.record_length <= 0 || !src.read) return -62;
  int32_t per = 163840 / src.record_length;
  if (per < 1) per = 1;
  std::vector<uint8_t> batch;
  // The keys of all records are held at once; more than 512 MiB of them cannot be checked.
  if (uint64_t(src.count) * uint32_t(k.key_length) > (uint64_t(512) << 20)) return -45;
  try {
    out->assign(size_t(src.count) * size_t(k.key_length), 0);
    batch.resize(size_t(per < src.count ? per : src.count) * uint32_t(src.record_length));
  } catch (const std::bad_alloc&) {
    return -45;
  }
  per = int32_t(batch.size() / uint32_t(src.record_length));
  uint8_t raw[kMaxKeyLength];
  for (int32_t first = 0; first < src.count; first += per) {
    int32_t n = src.count - first < per ? src.count - first : per;
    int32_t rc = src.read(first, n, batch.data());
    if (rc) return rc;
    for (int32_t i = 0; i < n; ++i) {
      uint8_t* dst = out->data() + size_t(first + i) * size_t(k.key_length);
      tree.key_of_record(batch.data() + size_t(i) * uint32_t(src.record_length), raw);
      if (transform_needed(k.sort_mode, k.key_flags)) transform_key(k.shape, k.sort_mode, k.key_flags, raw, dst);
      else std::memcpy(dst, raw, size_t(k.key_length));
    }
  }
  return 0;
}

}  // namespace

int32_t check_index(IndexTree& tree, int32_t record_count, const RecordSource* records, IndexReport* report) {
  *report = IndexReport{};
  if (!tree.is_open()) return -7;
  std::vector<uint8_t> expected;
  if (records) {
    int32_t rc = expected_keys(tree, *records, &expected);
    if (rc) return rc;
    if (record_count < 0) record_count = records->count;
  }
  DbFile& f = *tree.file_;
  if (tree.lock_file_) {
    int32_t rc = lock_with_retry(f, 0, kIndexLockSpan, lock_retry_time());
    if (rc) return rc;
  }
  IndexHeader h{};
  uint64_t length = 0;
  int32_t rc = f.read_exact(0, &h, sizeof h, kIndexPageError);
  if (rc == 0) rc = f.size(&length);
  const IndexKey& k = tree.key();
  if (rc == 0) {
    if (h.page_size != k.page_size || h.key_length != k.key_length || h.part_count != k.shape.count)
      report->faults.push_back({0, -1, "header no longer matches the index as opened"});
    else if (h.page_count < 2 || h.root < 1 || h.root >= h.page_count || h.free_count < 0 ||
             h.free_count >= h.page_count || h.free_head < 0 || h.free_head >= h.page_count)
      report->faults.push_back({0, -1, "header counts out of range"});
    else if (length < uint64_t(h.page_count) * uint32_t(h.page_size))
      report->faults.push_back({0, -1, "file shorter than its page count"});
    else {
      // A file longer than its pages is no fault: a writer that stopped between its page writes
      // and its header, or a mapped file's growth room after a crash, leaves unused bytes.
      try {
        Checker c(f, k, h, *report);
        c.record_count = record_count;
        if (records) {
          c.expected = &expected;
          c.seen.assign(size_t(records->count), 0);
        }
        uint8_t max[kMaxKeyLength];
        c.walk(h.root, 0, true, max);
        if (c.rc == 0) c.free_list();
        if (c.rc == 0) c.unaccounted();
        if (c.rc == 0 && records)
          for (size_t r = 0; r < c.seen.size(); ++r)
            if (!c.seen[r]) c.fault(0, -1, "record " + std::to_string(r) + " is not in the index");
        rc = c.rc;
      } catch (const std::bad_alloc&) {
        rc = -45;
      }
    }
  }
  if (tree.lock_file_) f.unlock(0, kIndexLockSpan);
  return rc;
}

}  // namespace database
