// Rebuild of an index tree: every record's key read and sorted by (key, record), then the
// pages written bottom up, full, leaves first and each branch level after them.
#include <algorithm>
#include <new>
#include <vector>
#include "database/index_op.h"

namespace database {

using namespace page_bytes;

namespace {

size_t g_sort_budget = size_t(256) << 20;  // bytes of keys sorted in memory at most

}  // namespace

size_t set_index_sort_budget(size_t bytes) {
  size_t old = g_sort_budget;
  g_sort_budget = bytes;
  return old;
}

// Without the memory to sort every key: the empty tree, then each record inserted in file
// order.
int32_t IndexOp::insert_all(const RecordSource& src, std::vector<uint8_t>& batch) {
  if (pg_.reset()) return pg_.rc();
  int32_t per = int32_t(batch.size() / uint32_t(src.record_length));
  uint8_t raw[kMaxKeyLength], buf[kMaxKeyLength];
  for (int32_t first = 0; first < src.count; first += per) {
    int32_t n = std::min(per, src.count - first);
    int32_t rc = src.read(first, n, batch.data());
    if (rc) return rc;
    for (int32_t i = 0; i < n; ++i) {
      t_.key_of_record(batch.data() + size_t(i) * uint32_t(src.record_length), raw);
      if ((rc = insert(stored(raw, buf), first + i))) return rc;
    }
  }
  return 0;
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
    int32_t per = std::max<int32_t>(1, 163840 / src.record_length);
    batch.resize(size_t(std::min(per, src.count)) * uint32_t(src.record_length));
  } catch (const std::bad_alloc&) {
    return -45;
  }
  if (uint64_t(src.count) * uint32_t(S_ + 4) > g_sort_budget) return insert_all(src, batch);
  try {
    entries.resize(size_t(src.count) * S_);
    order.resize(size_t(src.count));
  } catch (const std::bad_alloc&) {
    std::vector<uint8_t>().swap(entries);
    return insert_all(src, batch);
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
  // They go out in runs of up to kRun pages.
  struct Child {
    int32_t page;
    uint32_t max_entry;  // the entry whose key is the subtree's greatest
  };
  constexpr int32_t kRun = 64;
  std::vector<Child> level, up;
  std::vector<uint8_t> run(size_t(kRun) * P);
  int32_t next_page = 1, in_run = 0, rc = 0;
  auto new_page = [&]() {
    if (in_run == kRun) {
      rc = t_.file_->write_at(uint64_t(next_page - kRun) * uint32_t(P), run.data(), uint32_t(run.size()));
      in_run = 0;
    }
    uint8_t* p = run.data() + size_t(in_run++) * P;
    std::memset(p, 0, size_t(P));
    ++next_page;
    return p;
  };
  // Items spread evenly over groups: each gets items / groups, the first ones one more.
  auto spread = [](int32_t items, int32_t i, int32_t groups) { return items / groups + (i < items % groups ? 1 : 0); };
  {
    int32_t total = src.count;
    int32_t leaves = (total + E_ - 1) / E_;
    level.reserve(size_t(leaves));
    int32_t at = 0;
    for (int32_t l = 0; l < leaves && rc == 0; ++l) {
      int32_t n = spread(total, l, leaves);
      uint8_t* p = new_page();
      set_head(p, kLeafPage, n);
      for (int32_t i = 0; i < n; ++i) std::memcpy(slot(p, i), base + size_t(order[size_t(at + i)]) * S_, size_t(S_));
      at += n;
      level.push_back({next_page - 1, order[size_t(at - 1)]});
    }
  }
  while (level.size() > 1 && rc == 0) {
    int32_t total = int32_t(level.size());
    int32_t groups = (total + E_) / (E_ + 1);
    up.clear();
    int32_t at = 0;
    for (int32_t g = 0; g < groups && rc == 0; ++g) {
      int32_t n = spread(total, g, groups);  // children, >= 2
      uint8_t* p = new_page();
      set_head(p, kBranchPage, n - 1);
      for (int32_t i = 0; i < n; ++i) {
        const Child& ch = level[size_t(at + i)];
        put32(slot(p, i), ch.page);
        if (i < n - 1) std::memcpy(key_at(p, i), base + size_t(ch.max_entry) * S_ + 4, K);
      }
      at += n;
      up.push_back({next_page - 1, level[size_t(at - 1)].max_entry});
    }
    level.swap(up);
  }
  if (rc == 0 && in_run > 0)
    rc = t_.file_->write_at(uint64_t(next_page - in_run) * uint32_t(P), run.data(), uint32_t(in_run) * uint32_t(P));
  if (rc) return rc;
  IndexHeader& h = pg_.header();
  h.root = level[0].page;
  h.page_count = next_page;
  return 0;
}

}  // namespace database
