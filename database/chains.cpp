// Reading, writing and releasing block chains, with the free list and trimming.
#include "database/chains.h"
#include <cstring>
#include <vector>
#include "database/format.h"
#include "database/lock_retry.h"

namespace database {

namespace {

uint64_t block_at(int32_t b) { return static_cast<uint64_t>(b) * kBlockSize; }

// Blocks the file holds, the bound of every link (block 0 is the header).
int32_t blocks_in(DbFile& aux, int32_t* count) {
  uint64_t size = 0;
  if (aux.size(&size)) return kChainError;
  *count = static_cast<int32_t>(size / kBlockSize);
  return 0;
}

class ChainWriter {
 public:
  explicit ChainWriter(DbFile& aux) : aux_(aux) {}
  ~ChainWriter() {
    if (locked_) aux_.unlock(0, 1);
  }

  int32_t run(const uint8_t* data, uint32_t n, int32_t old_first, int32_t* new_first) {
    *new_first = 0;
    int32_t rc = blocks_in(aux_, &limit_);
    if (rc) return rc;
    // Choose one block per 500-byte piece: the old chain's, then free ones, then new ones.
    std::vector<int32_t> chosen;
    int32_t old = old_first;
    int guard = 0;
    for (uint32_t at = 0; at < n; at += kBlockData) {
      int32_t b;
      if (old > 0) {
        BlockHeader h;
        if ((rc = block_header(old, h)) || ++guard > limit_) return kChainError;
        b = old;
        old = h.next;
      } else {
        if ((rc = header())) return rc;
        if (head_.free_count > 0) {
          b = head_.free_head;
          BlockHeader h;
          if ((rc = block_header(b, h))) return rc;
          head_.free_head = h.next;
          --head_.free_count;
          if (h.next > 0 && (rc = set_link(h.next, offsetof(BlockHeader, previous), 0))) return rc;
        } else {
          b = head_.block_count++;
          limit_ = head_.block_count;
        }
      }
      chosen.push_back(b);
    }
    for (size_t i = 0; i < chosen.size(); ++i) {
      uint32_t piece = std::min<uint32_t>(kBlockData, n - static_cast<uint32_t>(i) * kBlockData);
      BlockHeader h{i ? chosen[i - 1] : 0, i + 1 < chosen.size() ? chosen[i + 1] : 0, static_cast<int32_t>(piece)};
      if ((rc = write_block(chosen[i], h, data + i * kBlockData, piece))) return rc;
    }
    if (old > 0 && (rc = release(old, chosen))) return rc;
    if (have_header_ && (rc = aux_.write_at(0, &head_, sizeof head_))) return kChainError;
    *new_first = chosen.empty() ? 0 : chosen[0];
    return 0;
  }

 private:
  // The auxiliary header, read once under a lock on the file's first byte.
  int32_t header() {
    if (have_header_) return 0;
    if (lock_with_retry(aux_, 0, 1, lock_retry_time())) return kChainError;
    locked_ = true;
    // Another process may have grown the file before the lock was ours.
    if (blocks_in(aux_, &limit_)) return kChainError;
    if (aux_.read_exact(0, &head_, sizeof head_, kChainError)) return kChainError;
    if (head_.block_count <= 0 || head_.block_count > limit_ || head_.free_count < 0 ||
        head_.free_count >= head_.block_count || head_.free_head < 0 || head_.free_head >= head_.block_count)
      return kChainError;
    have_header_ = true;
    return 0;
  }

  bool in_file(int32_t b) const { return b > 0 && b < limit_; }

  int32_t block_header(int32_t b, BlockHeader& h) {
    if (!in_file(b) || aux_.read_exact(block_at(b), &h, sizeof h, kChainError)) return kChainError;
    return 0;
  }

  int32_t set_link(int32_t b, size_t field, int32_t value) {
    if (!in_file(b) || aux_.write_at(block_at(b) + field, &value, 4)) return kChainError;
    return 0;
  }

  int32_t write_block(int32_t b, const BlockHeader& h, const uint8_t* data, uint32_t n) {
    uint8_t block[kBlockSize] = {};
    std::memcpy(block, &h, sizeof h);
    if (n) std::memcpy(block + sizeof h, data, n);
    return aux_.write_at(block_at(b), block, kBlockSize) ? kChainError : 0;
  }

  // Puts the rest of the old chain, from `first`, at the head of the free list, then trims
  // free blocks off the end of the file. A damaged old chain that leads back into the new
  // value's blocks is an error, never a release of blocks in use.
  int32_t release(int32_t first, const std::vector<int32_t>& in_use) {
    int32_t rc = header();
    if (rc) return rc;
    std::vector<int32_t> freed;
    for (int32_t b = first; b > 0;) {
      BlockHeader h;
      if ((rc = block_header(b, h)) || freed.size() >= static_cast<size_t>(limit_)) return kChainError;
      for (int32_t u : in_use)
        if (u == b) return kChainError;
      freed.push_back(b);
      b = h.next;
    }
    int32_t old_head = head_.free_head;
    for (size_t i = 0; i < freed.size(); ++i) {
      BlockHeader h{i ? freed[i - 1] : 0, i + 1 < freed.size() ? freed[i + 1] : old_head, 0};
      if ((rc = write_block(freed[i], h, nullptr, 0))) return rc;
    }
    if (old_head > 0 && (rc = set_link(old_head, offsetof(BlockHeader, previous), freed.back()))) return rc;
    head_.free_head = freed.front();
    head_.free_count += static_cast<int32_t>(freed.size());
    return trim();
  }

  int32_t trim() {
    int32_t last = head_.block_count - 1, rc = 0;
    while (last > 0) {
      BlockHeader h;
      if ((rc = block_header(last, h))) return rc;
      if (h.used != 0) break;
      if (h.previous > 0) rc = set_link(h.previous, offsetof(BlockHeader, next), h.next);
      else head_.free_head = h.next;
      if (rc == 0 && h.next > 0) rc = set_link(h.next, offsetof(BlockHeader, previous), h.previous);
      if (rc) return rc;
      --head_.free_count;
      --last;
    }
    if (last + 1 == head_.block_count) return 0;
    head_.block_count = last + 1;
    return aux_.set_size(block_at(head_.block_count)) ? kChainError : 0;
  }

  DbFile& aux_;
  AuxHeader head_{};
  bool have_header_ = false, locked_ = false;
  int32_t limit_ = 0;
};

}  // namespace

int32_t read_chain(DbFile& aux, int32_t first, std::string& out) {
  if (first == 0) return 0;
  if (!aux.is_open()) return kChainError;
  int32_t limit = 0;
  if (blocks_in(aux, &limit)) return kChainError;
  std::vector<int32_t> locked;
  int32_t rc = 0;
  int32_t steps = 0;  // a chain visits each block once: more steps than blocks is a cycle
  for (int32_t b = first; b > 0;) {
    if (b >= limit || ++steps >= limit) { rc = kChainError; break; }
    if (aux.lock(block_at(b), 1)) locked.push_back(b);
    uint8_t block[kBlockSize];
    if (aux.read_exact(block_at(b), block, kBlockSize, kChainError)) { rc = kChainError; break; }
    BlockHeader h;
    std::memcpy(&h, block, sizeof h);
    if (h.used < 1 || h.used > static_cast<int32_t>(kBlockData)) { rc = kChainError; break; }
    out.append(reinterpret_cast<const char*>(block + sizeof h), h.used);
    b = h.next;
  }
  for (int32_t b : locked) aux.unlock(block_at(b), 1);
  return rc;
}

int32_t write_chain(DbFile& aux, const void* data, uint32_t n, int32_t old_first, int32_t* new_first) {
  if (!aux.is_open()) return kChainError;
  return ChainWriter(aux).run(static_cast<const uint8_t*>(data), n, old_first, new_first);
}

}  // namespace database
