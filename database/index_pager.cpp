// The page cache, header copy and free page list of an index file.
#include "database/index_pager.h"
#include <algorithm>
#include <cstring>

namespace database {

using namespace page_bytes;

namespace {

// Free page: flags 2, count 0, previous free page at 4, next at 8.
constexpr int kPrev = 4;
constexpr int kNext = 8;

}  // namespace

IndexPager::IndexPager(DbFile& file, int32_t page_size) : file_(file), page_size_(page_size) {}

int32_t IndexPager::begin(bool keep) {
  rc_ = 0;
  if (keep && header_valid_) return 0;
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
  for (Slot& s : slots_) s.page = 0, s.dirty = false;
  last_ = nullptr;
  header_valid_ = false;
  cut_ = false;
}

int32_t IndexPager::write_slot(Slot& s) {
  int32_t rc = file_.write_at(uint64_t(s.page) * uint32_t(page_size_), s.data.data(), uint32_t(page_size_));
  if (rc == 0) s.dirty = false;
  return rc;
}

int32_t IndexPager::finish(int32_t rc, bool keep) {
  if (rc == 0) rc = rc_;
  if (rc == 0 && std::memcmp(&header_, &stored_, sizeof header_) != 0) {
    rc = file_.write_at(0, &header_, sizeof header_);
    if (rc == 0) stored_ = header_;
  }
  if (rc == 0) {
    // In page order, so that the writes go forward through the file.
    Slot* order[kSlots];
    int n = 0;
    for (Slot& s : slots_)
      if (s.page && s.dirty) order[n++] = &s;
    std::sort(order, order + n, [](const Slot* a, const Slot* b) { return a->page < b->page; });
    for (int i = 0; i < n && rc == 0; ++i) rc = write_slot(*order[i]);
  }
  if (rc == 0 && cut_) rc = file_.set_size(uint64_t(header_.page_count) * uint32_t(page_size_));
  cut_ = false;
  rc_ = 0;
  if (rc != 0 || !keep) drop();
  return rc;
}

IndexPager::Slot* IndexPager::find(int32_t n) {
  if (last_ && last_->page == n) return last_;
  for (Slot& s : slots_)
    if (s.page == n) return last_ = &s;
  return nullptr;
}

IndexPager::Slot* IndexPager::add(int32_t n) {
  Slot* empty = nullptr;
  for (Slot& s : slots_)
    if (s.page == 0) {
      empty = &s;
      break;
    }
  if (!empty) {
    // Write and drop the least recently used pages.
    for (int k = 0; k < kEvict; ++k) {
      Slot* old = nullptr;
      for (Slot& s : slots_)
        if (s.page && (!old || s.used < old->used)) old = &s;
      if (old->dirty) {
        int32_t rc = write_slot(*old);
        if (rc) {
          fail(rc);
          return nullptr;
        }
      }
      old->page = 0;
      empty = old;
    }
    last_ = nullptr;
  }
  if (empty->data.size() != size_t(page_size_)) empty->data.assign(size_t(page_size_), 0);
  empty->page = n;
  empty->dirty = false;
  return empty;
}

uint8_t* IndexPager::page(int32_t n) {
  if (rc_) return nullptr;
  if (n < 1 || n >= header_.page_count) {
    fail(kIndexPageError);
    return nullptr;
  }
  Slot* s = find(n);
  if (!s) {
    s = add(n);
    if (!s) return nullptr;
    int32_t rc = file_.read_exact(uint64_t(n) * uint32_t(page_size_), s->data.data(), uint32_t(page_size_),
                                  kIndexPageError);
    if (rc) {
      s->page = 0;
      fail(rc);
      return nullptr;
    }
    last_ = s;
  }
  s->used = ++clock_;
  return s->data.data();
}

uint8_t* IndexPager::fresh(int32_t n) {
  if (rc_) return nullptr;
  Slot* s = find(n);
  if (!s) s = add(n);
  if (!s) return nullptr;
  std::memset(s->data.data(), 0, s->data.size());
  s->dirty = true;
  s->used = ++clock_;
  last_ = s;
  return s->data.data();
}

void IndexPager::mark_dirty(int32_t n) {
  Slot* s = find(n);
  if (s) s->dirty = true;
  else fail(kIndexPageError);  // a page changed after it left the cache: a fault of the caller
}

uint8_t* IndexPager::take(int32_t* n) {
  if (rc_) return nullptr;
  IndexHeader& h = header_;
  if (h.free_count == 0) {
    *n = h.page_count++;
    return fresh(*n);
  }
  int32_t head = h.free_head;
  uint8_t* p = head > 0 ? page(head) : nullptr;
  if (!p || get32(p) != kFreePage) {
    fail(kIndexPageError);
    return nullptr;
  }
  int32_t next = get32(p + kNext);
  if (next < 0 || next >= h.page_count || next == head) {
    fail(kIndexPageError);
    return nullptr;
  }
  if (next) {
    uint8_t* q = page(next);
    if (!q || get32(q) != kFreePage) {
      fail(kIndexPageError);
      return nullptr;
    }
    put32(q + kPrev, 0);
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
  int32_t prev = get32(p + kPrev), next = get32(p + kNext);
  IndexHeader& h = header_;
  if (prev < 0 || prev >= h.page_count || next < 0 || next >= h.page_count || prev == n || next == n ||
      h.free_count <= 0)
    return fail(kIndexPageError);
  if (prev) {
    uint8_t* q = page(prev);
    if (!q || get32(q + kNext) != n) return fail(kIndexPageError);
    put32(q + kNext, next);
    mark_dirty(prev);
  } else {
    if (h.free_head != n) return fail(kIndexPageError);
    h.free_head = next;
  }
  if (next) {
    uint8_t* q = page(next);
    if (!q || get32(q + kPrev) != n) return fail(kIndexPageError);
    put32(q + kPrev, prev);
    mark_dirty(next);
  }
  h.free_count--;
  return 0;
}

int32_t IndexPager::release(int32_t n) {
  if (rc_) return rc_;
  IndexHeader& h = header_;
  if (n < 1 || n >= h.page_count) return fail(kIndexPageError);
  auto forget = [&](int32_t page) {
    if (Slot* s = find(page)) s->page = 0, s->dirty = false, last_ = nullptr;
  };
  if (n == h.page_count - 1) {
    forget(n);
    h.page_count = n;
    cut_ = true;
    // Free pages now at the end go too.
    while (h.page_count > 2) {
      int32_t last = h.page_count - 1;
      uint8_t* p = page(last);
      if (!p) return rc_;
      uint16_t flags;
      std::memcpy(&flags, p, 2);
      if (!(flags & kFreePage)) break;
      if (unlink_free(last)) return rc_;
      forget(last);
      h.page_count = last;
    }
    return 0;
  }
  int32_t head = h.free_head;
  if (head) {
    uint8_t* q = page(head);
    if (!q || get32(q) != kFreePage) return fail(kIndexPageError);
    put32(q + kPrev, n);
    mark_dirty(head);
  }
  uint8_t* p = fresh(n);
  if (!p) return rc_;
  put32(p, kFreePage);
  put32(p + kPrev, 0);
  put32(p + kNext, head);
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
