// The page cache, header copy and free page list of an index file.
#include "database/index_pager.h"
#include <algorithm>
#include <climits>
#include <cstring>

namespace database {

using namespace page_bytes;

IndexPager::IndexPager(DbFile& file, int32_t page_size) : file_(file), page_size_(page_size) {}

void IndexPager::set_keep(bool keep) {
  drop();
  keep_ = keep;
  int32_t kept = int32_t(kKeptBytes / size_t(page_size_));
  capacity_ = keep && kept > kSlots ? kept : kSlots;
}

int32_t IndexPager::begin() {
  rc_ = 0;
  if (keep_ && header_valid_) return 0;
  drop();
  int32_t rc = file_.read_exact(0, &header_, sizeof header_, kIndexPageError);
  if (rc) return rc;
  const IndexHeader& h = header_;
  if (h.page_size != page_size_ || h.page_count < 2 || h.root < 1 || h.root >= h.page_count || h.free_count < 0 ||
      h.free_count >= h.page_count || h.free_head < 0 || h.free_head >= h.page_count)
    return kIndexPageError;
  stored_ = header_;
  header_valid_ = true;
  return 0;
}

void IndexPager::drop() {
  for (size_t i = 0; i < slots_.size(); ++i)
    if (slots_[i].page) {
      where_[size_t(slots_[i].page)] = -1;
      slots_[i].page = 0;
      slots_[i].dirty = false;
      spare_.push_back(int32_t(i));
    }
  dirty_.clear();
  newest_ = oldest_ = -1;
  held_ = 0;
  header_valid_ = false;
  cut_ = false;
}

int32_t IndexPager::write_slot(Slot& s) {
  int32_t rc = file_.write_at(uint64_t(s.page) * uint32_t(page_size_), s.data.data(), uint32_t(page_size_));
  if (rc == 0) s.dirty = false;
  return rc;
}

int32_t IndexPager::write_out() {
  // Pages first, then the header: a write that fails part way leaves a header whose page
  // count the file still covers, so the file opens again (a header grown first would not).
  int32_t rc = 0;
  // In page order, so that the writes go forward through the file.
  std::sort(dirty_.begin(), dirty_.end(),
            [&](int32_t a, int32_t b) { return slots_[size_t(a)].page < slots_[size_t(b)].page; });
  for (size_t i = 0; i < dirty_.size() && rc == 0; ++i) {
    Slot& s = slots_[size_t(dirty_[i])];
    if (s.page && s.dirty) rc = write_slot(s);
  }
  if (rc) return rc;
  dirty_.clear();
  if (std::memcmp(&header_, &stored_, sizeof header_) != 0) {
    rc = file_.write_at(0, &header_, sizeof header_);
    if (rc) return rc;
    stored_ = header_;
  }
  if (cut_) {
    rc = file_.set_size(uint64_t(header_.page_count) * uint32_t(page_size_));
    if (rc) return rc;
    cut_ = false;
  }
  return 0;
}

int32_t IndexPager::finish(int32_t rc) {
  if (rc == 0) rc = rc_;
  if (rc == 0) rc = write_out();
  cut_ = false;
  rc_ = 0;
  if (rc != 0 || !keep_) drop();
  return rc;
}

void IndexPager::unlink(int32_t i) {
  Slot& s = slots_[size_t(i)];
  if (s.newer >= 0) slots_[size_t(s.newer)].older = s.older;
  else newest_ = s.older;
  if (s.older >= 0) slots_[size_t(s.older)].newer = s.newer;
  else oldest_ = s.newer;
  s.newer = s.older = -1;
}

void IndexPager::link_newest(int32_t i) {
  Slot& s = slots_[size_t(i)];
  s.newer = -1;
  s.older = newest_;
  if (newest_ >= 0) slots_[size_t(newest_)].newer = i;
  newest_ = i;
  if (oldest_ < 0) oldest_ = i;
}

void IndexPager::touch(int32_t i) {
  if (newest_ == i) return;
  unlink(i);
  link_newest(i);
}

bool IndexPager::in_file(int32_t n) {
  if (n < file_pages_) return true;
  uint64_t length = 0;
  int32_t rc = file_.size(&length);
  if (rc) {
    fail(rc);
    return false;
  }
  file_pages_ = int32_t(std::min<uint64_t>(length / uint32_t(page_size_), INT32_MAX));
  if (n < file_pages_) return true;
  fail(kIndexPageError);
  return false;
}

int32_t IndexPager::find(int32_t n) { return size_t(n) < where_.size() ? where_[size_t(n)] : -1; }

void IndexPager::forget(int32_t n) {
  int32_t i = find(n);
  if (i < 0) return;
  unlink(i);
  where_[size_t(n)] = -1;
  slots_[size_t(i)].page = 0;
  slots_[size_t(i)].dirty = false;
  spare_.push_back(i);
  --held_;
}

int32_t IndexPager::add(int32_t n) {
  if (held_ >= capacity_) {
    // Write and drop the least recently used pages.
    for (int32_t k = 0; k < kEvict && oldest_ >= 0; ++k) {
      Slot& old = slots_[size_t(oldest_)];
      if (old.dirty) {
        int32_t rc = write_slot(old);
        if (rc) {
          fail(rc);
          return -1;
        }
      }
      forget(old.page);
    }
  }
  int32_t i;
  if (!spare_.empty()) {
    i = spare_.back();
    spare_.pop_back();
  } else {
    i = int32_t(slots_.size());
    slots_.emplace_back();
  }
  Slot& s = slots_[size_t(i)];
  if (s.data.size() != size_t(page_size_)) s.data.assign(size_t(page_size_), 0);
  s.page = n;
  s.dirty = false;
  if (where_.size() <= size_t(n)) where_.resize(size_t(n) + 1 + where_.size() / 2, -1);
  where_[size_t(n)] = i;
  ++held_;
  link_newest(i);
  return i;
}

uint8_t* IndexPager::page(int32_t n) {
  if (rc_) return nullptr;
  if (n < 1 || n >= header_.page_count) {
    fail(kIndexPageError);
    return nullptr;
  }
  int32_t i = find(n);
  if (i < 0) {
    // A page past the file's end (a header or link another writer damaged) is refused before
    // any room is made for it.
    if (!in_file(n)) return nullptr;
    i = add(n);
    if (i < 0) return nullptr;
    Slot& s = slots_[size_t(i)];
    int32_t rc = file_.read_exact(uint64_t(n) * uint32_t(page_size_), s.data.data(), uint32_t(page_size_),
                                  kIndexPageError);
    if (rc) {
      forget(n);
      fail(rc);
      return nullptr;
    }
    return s.data.data();
  }
  touch(i);
  return slots_[size_t(i)].data.data();
}

uint8_t* IndexPager::fresh(int32_t n) {
  if (rc_) return nullptr;
  int32_t i = find(n);
  if (i < 0) i = add(n);
  else touch(i);
  if (i < 0) return nullptr;
  if (n >= file_pages_) file_pages_ = n + 1;  // it will be written there
  Slot& s = slots_[size_t(i)];
  std::memset(s.data.data(), 0, s.data.size());
  if (!s.dirty) dirty_.push_back(i);
  s.dirty = true;
  return s.data.data();
}

void IndexPager::mark_dirty(int32_t n) {
  int32_t i = find(n);
  if (i < 0) {
    fail(kIndexPageError);  // a page changed after it left the cache: a fault of the caller
    return;
  }
  Slot& s = slots_[size_t(i)];
  if (!s.dirty) dirty_.push_back(i);
  s.dirty = true;
}

uint8_t* IndexPager::take(int32_t* n) {
  if (rc_) return nullptr;
  IndexHeader& h = header_;
  if (h.free_count == 0) {
    // The file holds every page the header counts, or the header is damaged.
    if (!in_file(h.page_count - 1)) return nullptr;
    *n = h.page_count++;
    return fresh(*n);
  }
  int32_t head = h.free_head;
  uint8_t* p = head > 0 ? page(head) : nullptr;
  if (!p || !is_free(p)) {
    fail(kIndexPageError);
    return nullptr;
  }
  int32_t next = get32(p + kFreeNext);
  if (next < 0 || next >= h.page_count || next == head) {
    fail(kIndexPageError);
    return nullptr;
  }
  if (next) {
    uint8_t* q = page(next);
    if (!q || !is_free(q)) {
      fail(kIndexPageError);
      return nullptr;
    }
    put32(q + kFreePrev, 0);
    mark_dirty(next);
  }
  h.free_head = next;
  h.free_count--;
  *n = head;
  return fresh(head);
}

int32_t IndexPager::unlink_free(int32_t n) {
  uint8_t* p = page(n);
  if (!p) return rc_;
  int32_t prev = get32(p + kFreePrev), next = get32(p + kFreeNext);
  IndexHeader& h = header_;
  if (prev < 0 || prev >= h.page_count || next < 0 || next >= h.page_count || prev == n || next == n ||
      h.free_count <= 0)
    return fail(kIndexPageError);
  if (prev) {
    uint8_t* q = page(prev);
    if (!q || get32(q + kFreeNext) != n) return fail(kIndexPageError);
    put32(q + kFreeNext, next);
    mark_dirty(prev);
  } else {
    if (h.free_head != n) return fail(kIndexPageError);
    h.free_head = next;
  }
  if (next) {
    uint8_t* q = page(next);
    if (!q || get32(q + kFreePrev) != n) return fail(kIndexPageError);
    put32(q + kFreePrev, prev);
    mark_dirty(next);
  }
  h.free_count--;
  return 0;
}

int32_t IndexPager::release(int32_t n) {
  if (rc_) return rc_;
  IndexHeader& h = header_;
  if (n < 1 || n >= h.page_count) return fail(kIndexPageError);
  if (n == h.page_count - 1) {
    forget(n);
    h.page_count = n;
    cut_ = true;
    // Free pages now at the end go too.
    while (h.page_count > 2) {
      int32_t last = h.page_count - 1;
      uint8_t* p = page(last);
      if (!p) return rc_;
      if (!(flags_of(p) & kFreePage)) break;
      if (unlink_free(last)) return rc_;
      forget(last);
      h.page_count = last;
    }
    return 0;
  }
  int32_t head = h.free_head;
  if (head) {
    uint8_t* q = page(head);
    if (!q || !is_free(q)) return fail(kIndexPageError);
    put32(q + kFreePrev, n);
    mark_dirty(head);
  }
  uint8_t* p = fresh(n);
  if (!p) return rc_;
  set_head(p, kFreePage, 0);
  put32(p + kFreePrev, 0);
  put32(p + kFreeNext, head);
  h.free_head = n;
  h.free_count++;
  return 0;
}

int32_t IndexPager::reset() {
  drop();
  IndexHeader& h = header_;
  h.page_count = 2;
  h.free_count = 0;
  h.free_head = 0;
  h.root = 1;
  std::vector<uint8_t> pages(size_t(page_size_) * 2, 0);
  std::memcpy(pages.data(), &h, sizeof h);
  int32_t rc = file_.write_at(0, pages.data(), uint32_t(pages.size()));
  if (rc == 0) rc = file_.set_size(pages.size());
  if (rc) return fail(rc);
  stored_ = h;
  header_valid_ = true;
  return 0;
}

}  // namespace database
