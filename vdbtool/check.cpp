// Consistency check and repair of a database's files. The check reads everything without
// trusting it: the header and descriptors (through the engine's own open checks), the
// records against the file length and the serial counter, every memo and byte-set chain,
// the free block list, and every named index (the index tree's own checker). Repair opens
// the database exclusively through the engine, then mends what the check names.
#include "vdbtool/check.h"
#include <windows.h>
#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include "database/chains.h"
#include "database/engine.h"
#include "database/index_check.h"
#include "database/index_tree.h"
#include "database/lock_retry.h"
#include "database/names.h"
#include "database/registry.h"
#include "database/validate.h"
#include "vdbtool/output.h"

namespace vdbtool {

using namespace database;

namespace {

constexpr int64_t kFreeOwner = -1;

std::string field_label(const Layout& l, int32_t f) {
  const FieldDescriptor& d = l.fields[size_t(f)];
  return utf8_from_gbk(std::string(d.name, strnlen(d.name, sizeof d.name)));
}

std::string value_place(const Layout& l, int32_t record, int32_t f) {
  return format("record %d field ", record + 1) + field_label(l, f);
}

// Everything the check learns about the files; repair works from it.
struct Survey {
  Layout layout;
  uint64_t length = 0;
  int32_t present = 0;  // whole records in the file
  int32_t records = 0;  // the records both the header and the file have
  bool aux_present = false;
  bool aux_magic_ok = false;   // the header is an auxiliary header, its counts aside
  bool aux_partial = false;    // the file ends in part of a block
  bool aux_header_ok = false;
  AuxHeader aux{};
  int32_t aux_blocks = 0;  // whole blocks in the auxiliary file
  std::vector<int64_t> owner;  // per block: 0 none, kFreeOwner, or 1 + record * fields + field
  std::vector<std::pair<int32_t, int32_t>> damaged;   // values to clear: (record, field)
  std::vector<std::pair<int32_t, int32_t>> relink;    // values whose back links are wrong
  int32_t max_serial = 0;
};

class Checker {
 public:
  Checker(const Options& o, std::vector<Fault>* faults) : o_(o), faults_(faults) {}

  int32_t run(Survey& s) {
    std::string path = with_default_extension(o_.db, "VDB");
    int32_t rc = open_with_retry(db_, path, false, Share::kAll);
    if (rc) return rc;
    rc = validate_database(db_, false, o_.password, s.layout);
    if (rc == -48) {
      rc = 0;  // short for its record count: the survey below names it
    }
    if (rc) return rc;
    const DbHeader& h = s.layout.header;
    const uint32_t length = static_cast<uint32_t>(h.record_length);
    if (db_.size(&s.length)) return -22;
    uint64_t body = s.length > s.layout.data_start ? s.length - s.layout.data_start : 0;
    s.present = static_cast<int32_t>(std::min<uint64_t>(body / length, INT32_MAX));
    s.records = std::min(s.present, h.record_count);
    if (s.present < h.record_count)
      fault("database header", format("record count %d, but the file holds %d whole records", h.record_count, s.present));
    else if (s.present > h.record_count)
      fault("database file", format("%d whole records after the record count %d ", s.present - h.record_count, h.record_count) +
                                 (zero_tail(s) ? "(zero bytes: the room of a file held in memory when its process ended)"
                                               : "(an append that did not finish)"));
    if (body % length)
      fault("database file", format("%u bytes of a partial record at the end", static_cast<unsigned>(body % length)));
    check_layout(s);
    if (s.layout.needs_aux) survey_aux(path, s);
    if ((rc = check_records(s))) return rc;
    if (s.aux_header_ok) check_free_list(s);
    for (const std::string& name : o_.indexes) check_index_file(path, name, s);
    return 0;
  }

  DbFile db_, aux_;

 private:
  void fault(const std::string& place, const std::string& what) { faults_->push_back({place, what}); }

  // Whether everything after the counted records is zero bytes.
  bool zero_tail(const Survey& s) {
    uint64_t from = s.layout.data_start + uint64_t(s.layout.header.record_count) * uint32_t(s.layout.header.record_length);
    // Reads decipher: zero bytes on disk read as what deciphering zeros gives.
    std::vector<uint8_t> buf(1 << 16), zeros(1 << 16);
    for (uint64_t at = from; at < s.length;) {
      uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(buf.size(), s.length - at)), got = 0;
      if (db_.read_at(at, buf.data(), n, &got) || got != n) return false;
      std::fill(zeros.begin(), zeros.begin() + n, 0);
      db_.cipher().apply(zeros.data(), n, at);
      if (std::memcmp(buf.data(), zeros.data(), n) != 0) return false;
      at += n;
    }
    return true;
  }

  void check_layout(Survey& s) {
    int32_t at = 4;
    for (int32_t f = 0; f < static_cast<int32_t>(s.layout.fields.size()); ++f) {
      const FieldDescriptor& d = s.layout.fields[size_t(f)];
      if (d.offset != at) fault("field " + field_label(s.layout, f), format("offset %d, expected %d", d.offset, at));
      at = d.offset + field_size(d.type, d.text_size);
    }
    if (at != s.layout.header.record_length)
      fault("database header", format("record length %d, the fields take %d", s.layout.header.record_length, at));
  }

  void survey_aux(const std::string& path, Survey& s) {
    std::string aux = with_extension(path, "VDT");
    if (open_with_retry(aux_, aux, false, Share::kAll)) {
      fault("auxiliary file", "missing or cannot be opened");
      return;
    }
    s.aux_present = true;
    aux_.set_cipher(db_.cipher().on ? o_.password : std::string(), 4);
    uint64_t len = 0;
    aux_.size(&len);
    s.aux_blocks = static_cast<int32_t>(std::min<uint64_t>(len / kBlockSize, INT32_MAX));
    s.aux_partial = len % kBlockSize != 0;
    if (len % kBlockSize) fault("auxiliary file", format("%u bytes of a partial block at the end", unsigned(len % kBlockSize)));
    AuxHeader& a = s.aux;
    if (aux_.read_exact(0, &a, sizeof a, -35) || std::memcmp(a.magic, kAuxMagic, 4) != 0) {
      fault("auxiliary header", "not an auxiliary file header");
      return;
    }
    s.aux_magic_ok = true;
    if (a.version != s.layout.header.version) fault("auxiliary header", format("version 0x%x differs from the database's", a.version));
    if (a.block_count <= 0 || a.free_count < 0 || a.free_count >= std::max(a.block_count, 1) || a.free_head < 0 ||
        a.free_head >= std::max(a.block_count, 1)) {
      fault("auxiliary header", format("counts out of range (blocks %d, free %d, free head %d)", a.block_count,
                                       a.free_count, a.free_head));
      return;
    }
    if (s.aux_blocks < a.block_count)
      fault("auxiliary header", format("block count %d, but the file holds %d blocks", a.block_count, s.aux_blocks));
    else if (s.aux_blocks > a.block_count)
      fault("auxiliary file", format("%d blocks past the header's block count %d (a value write that did not finish)",
                                     s.aux_blocks - a.block_count, a.block_count));
    s.aux_header_ok = true;
    s.owner.assign(size_t(std::min(a.block_count, s.aux_blocks)), 0);
  }

  int32_t block_header(int32_t b, BlockHeader& h) { return aux_.read_exact(uint64_t(b) * kBlockSize, &h, sizeof h, -59); }

  void walk_chain(Survey& s, int32_t record, int32_t f, int32_t first) {
    const int32_t limit = static_cast<int32_t>(s.owner.size());
    const int64_t id = 1 + int64_t(record) * int64_t(s.layout.fields.size()) + f;
    int32_t prev = 0;
    bool links_ok = true;
    for (int32_t b = first; b != 0;) {
      if (b < 1 || b >= limit) {
        fault(value_place(s.layout, record, f), format("link to block %d, outside the file's blocks", b));
        s.damaged.push_back({record, f});
        return;
      }
      if (s.owner[size_t(b)] != 0) {
        int64_t other = s.owner[size_t(b)] - 1;
        int32_t n = static_cast<int32_t>(s.layout.fields.size());
        fault(value_place(s.layout, record, f),
              format("block %d is also in ", b) +
                  (other == id - 1 ? std::string("this value (a loop)")
                                   : value_place(s.layout, int32_t(other / n), int32_t(other % n))));
        s.damaged.push_back({record, f});
        return;
      }
      s.owner[size_t(b)] = id;
      BlockHeader h;
      if (block_header(b, h)) {
        fault(value_place(s.layout, record, f), format("block %d cannot be read", b));
        s.damaged.push_back({record, f});
        return;
      }
      if (h.used < 1 || h.used > static_cast<int32_t>(kBlockData)) {
        fault(value_place(s.layout, record, f), format("block %d says %d bytes used", b, h.used));
        s.damaged.push_back({record, f});
        return;
      }
      if (h.previous != prev) {
        if (links_ok) fault(value_place(s.layout, record, f), format("block %d links back to %d, not %d", b, h.previous, prev));
        links_ok = false;
      }
      prev = b;
      b = h.next;
    }
    if (!links_ok) s.relink.push_back({record, f});
  }

  int32_t check_records(Survey& s) {
    const uint32_t length = static_cast<uint32_t>(s.layout.header.record_length);
    const int32_t batch = static_cast<int32_t>(std::max<uint32_t>(1, 163840 / length));
    std::vector<uint8_t> buf(size_t(batch) * length);
    int32_t last = 0;
    for (int32_t first = 0; first < s.records; first += batch) {
      int32_t n = std::min(batch, s.records - first);
      if (int32_t rc = db_.read_exact(s.layout.data_start + uint64_t(first) * length, buf.data(), uint32_t(n) * length, -62))
        return rc;
      for (int32_t i = 0; i < n; ++i) {
        const uint8_t* r = buf.data() + size_t(i) * length;
        int32_t status;
        std::memcpy(&status, r, 4);
        int32_t serial = status < 0 ? -status : status;
        std::string place = format("record %d", first + i + 1);
        if (status == 0) fault(place, "status word 0");
        else if (serial <= last) fault(place, format("serial %d not above the previous record's %d", serial, last));
        if (serial >= s.layout.header.next_serial)
          fault(place, format("serial %d not below the next serial %d", serial, s.layout.header.next_serial));
        last = std::max(last, serial);
        s.max_serial = std::max(s.max_serial, serial);
        for (int32_t f = 0; f < static_cast<int32_t>(s.layout.fields.size()); ++f) {
          const FieldDescriptor& d = s.layout.fields[size_t(f)];
          if (!chained_type(d.type)) continue;
          int32_t block;
          std::memcpy(&block, r + d.offset, 4);
          if (block == 0) continue;
          if (!s.aux_header_ok) {
            fault(value_place(s.layout, first + i, f), "no usable auxiliary file for its value");
            s.damaged.push_back({first + i, f});
          } else {
            walk_chain(s, first + i, f, block);
          }
        }
      }
    }
    return 0;
  }

  void check_free_list(Survey& s) {
    const int32_t limit = static_cast<int32_t>(s.owner.size());
    int32_t count = 0, prev = 0;
    for (int32_t b = s.aux.free_head; b != 0; ++count) {
      std::string place = format("free block list at block %d", b);
      if (b < 1 || b >= limit) {
        fault(place, "outside the file's blocks");
        break;
      }
      if (s.owner[size_t(b)] == kFreeOwner) {
        fault(place, "the list runs in a loop");
        break;
      }
      if (s.owner[size_t(b)] != 0) {
        int64_t other = s.owner[size_t(b)] - 1;
        int32_t n = static_cast<int32_t>(s.layout.fields.size());
        fault(place, "the block is in use by " + value_place(s.layout, int32_t(other / n), int32_t(other % n)));
        break;
      }
      s.owner[size_t(b)] = kFreeOwner;
      BlockHeader h;
      if (block_header(b, h)) {
        fault(place, "cannot be read");
        break;
      }
      if (h.used != 0) fault(place, format("a free block with %d bytes used", h.used));
      if (h.previous != prev) fault(place, format("links back to %d, not %d", h.previous, prev));
      prev = b;
      b = h.next;
    }
    if (count != s.aux.free_count)
      fault("auxiliary header", format("free count %d, but the list holds %d blocks", s.aux.free_count, count));
    int32_t lost = 0, first_lost = 0;
    for (int32_t b = 1; b < limit; ++b)
      if (s.owner[size_t(b)] == 0 && lost++ == 0) first_lost = b;
    if (lost)
      fault("auxiliary file", format("%d blocks belong to no value and are not free (the first is block %d)", lost, first_lost));
  }

  void check_index_file(const std::string& db_path, const std::string& name, Survey& s) {
    std::string path = index_path(full_path_of(db_path), name);
    std::string place = "index " + utf8_from_gbk(name);
    IndexTree tree;
    int32_t rc = tree.open(path, false, Share::kAll, s.layout.fields, s.layout.header.version);
    if (rc) {
      fault(place, "cannot be used: " + code_text(rc));
      return;
    }
    RecordSource records;
    records.count = s.records;
    records.record_length = s.layout.header.record_length;
    const uint32_t start = s.layout.data_start, length = uint32_t(s.layout.header.record_length);
    records.read = [this, start, length](int32_t first, int32_t n, uint8_t* out) {
      return db_.read_exact(start + uint64_t(first) * length, out, uint32_t(n) * length, -62);
    };
    IndexReport report;
    if ((rc = check_index(tree, s.records, &records, &report))) {
      fault(place, "check stopped: " + code_text(rc));
      return;
    }
    for (const IndexFault& f : report.faults)
      fault(place + (f.page ? format(" page %d", f.page) : std::string()) + (f.entry >= 0 ? format(" entry %d", f.entry) : std::string()),
            f.what);
    summary_ += format(", index %s: %d entries, height %d", utf8_from_gbk(file_stem(path)).c_str(), report.entries, report.height);
  }

 public:
  std::string summary_;

 private:
  const Options& o_;
  std::vector<Fault>* faults_;
};

std::string full_path_or(const std::string& p) {
  std::string f = full_path_of(p);
  return f.empty() ? p : f;
}

int32_t survey(const Options& o, std::vector<Fault>* faults, Survey* s, std::string* summary) {
  Checker c(o, faults);
  int32_t rc = c.run(*s);
  if (rc == 0 && summary) {
    int32_t used = 0, free = 0;
    for (int64_t w : s->owner) used += w > 0, free += w == kFreeOwner;
    *summary = format("%d records", s->records) +
               (s->aux_present ? format(", %d auxiliary blocks (%d in values, %d free)", int32_t(s->owner.size()), used, free)
                               : std::string()) +
               c.summary_;
  }
  return rc;
}

}  // namespace

std::string index_path(const std::string& db_path, const std::string& name) {
  std::string file = with_default_extension(name, "VNX");
  if (folder_of(file).empty()) file = folder_of(full_path_or(db_path)) + file;
  return full_path_or(file);
}

int32_t check_files(const Options& o, std::vector<Fault>* faults, std::string* summary) {
  Survey s;
  return survey(o, faults, &s, summary);
}

namespace {

// Rewrites the free block list from every block no value uses and cuts free blocks off the
// file's end; the header is written last.
int32_t rebuild_free_list(DbFile& aux, const Survey& s, std::vector<std::string>* done) {
  int32_t last_used = 0;
  for (int32_t b = 1; b < static_cast<int32_t>(s.owner.size()); ++b)
    if (s.owner[size_t(b)] > 0) last_used = b;
  std::vector<int32_t> free;
  for (int32_t b = 1; b < last_used; ++b)
    if (s.owner[size_t(b)] <= 0) free.push_back(b);
  for (size_t i = 0; i < free.size(); ++i) {
    uint8_t block[kBlockSize] = {};
    BlockHeader h{i ? free[i - 1] : 0, i + 1 < free.size() ? free[i + 1] : 0, 0};
    std::memcpy(block, &h, sizeof h);
    if (int32_t rc = aux.write_at(uint64_t(free[i]) * kBlockSize, block, kBlockSize)) return rc;
  }
  int32_t head[3] = {last_used + 1, static_cast<int32_t>(free.size()), free.empty() ? 0 : free[0]};
  AuxHeader before = s.aux;
  if (int32_t rc = aux.write_at(offsetof(AuxHeader, block_count), head, sizeof head)) return rc;
  if (int32_t rc = aux.set_size(uint64_t(last_used + 1) * kBlockSize)) return rc;
  if (before.block_count != head[0] || before.free_count != head[1] || before.free_head != head[2])
    done->push_back(format("auxiliary file: %d blocks, %d of them on the free list", head[0], head[1]));
  return 0;
}

// The key fields, sort mode, flags and page factor of an index file whose tree cannot be
// opened, when its header still tells them.
bool index_spec_from_header(const std::string& path, const Database& db, IndexSpec* spec) {
  DbFile f;
  if (f.open(path, false, Share::kAll)) return false;
  IndexHeader h{};
  if (f.read_exact(0, &h, sizeof h, -31) || std::memcmp(h.magic, kIndexMagic, 4) != 0) return false;
  if (h.part_count < 1 || h.part_count > kMaxKeyParts) return false;
  spec->fields.clear();
  for (int32_t p = 0; p < h.part_count; ++p) {
    std::string name(h.names[p], strnlen(h.names[p], sizeof h.names[p]));
    if (db.find_field(name) < 0) return false;
    spec->fields.push_back(name);
  }
  spec->sort_mode = (h.sort_mode == 1 || h.sort_mode == 2) ? h.sort_mode : 0;
  spec->key_flags = h.key_flags & 3;
  spec->page_factor = std::clamp(h.page_size / 512, 1, 100);
  return true;
}

}  // namespace

int32_t repair_files(const Options& o, std::vector<std::string>* done) {
  std::vector<Fault> faults;
  Survey s;
  int32_t rc = survey(o, &faults, &s, nullptr);
  if (rc) return rc;
  std::string path = full_path_or(with_default_extension(o.db, "VDB"));

  // The auxiliary header first, so that the values are judged against a usable file: blocks
  // past its count (a value write cut short) are taken in, and counts the engine's open
  // refuses become the file's blocks with an empty free list. The free list rebuild below
  // settles the use of every block.
  if (s.aux_present && s.aux_magic_ok &&
      (!s.aux_header_ok || s.aux_blocks > s.aux.block_count || s.aux_partial || s.aux.version != s.layout.header.version)) {
    DbFile aux;
    if ((rc = aux.open(with_extension(path, "VDT"), true, Share::kExclusive))) return rc;
    aux.set_cipher(s.layout.header.magic[1] == 'C' ? o.password : std::string(), 4);
    int32_t version = s.layout.header.version, blocks = std::max(s.aux_blocks, 1);
    int32_t counts[3] = {blocks, s.aux_header_ok ? s.aux.free_count : 0, s.aux_header_ok ? s.aux.free_head : 0};
    if ((rc = aux.write_at(offsetof(AuxHeader, version), &version, 4)) ||
        (rc = aux.write_at(offsetof(AuxHeader, block_count), counts, sizeof counts)) ||
        (rc = aux.set_size(uint64_t(blocks) * kBlockSize)))
      return rc;
    if (s.aux_header_ok) done->push_back(format("auxiliary header: block count %d -> %d (whole blocks of the file)", s.aux.block_count, blocks));
    else done->push_back(format("auxiliary header rewritten: %d blocks, the free list to be rebuilt", blocks));
    aux.close();
    faults.clear();
    s = Survey{};
    if ((rc = survey(o, &faults, &s, nullptr))) return rc;
  }

  // The engine's own open repairs the counts and cuts the files.
  OpenOptions open;
  open.file = path;
  open.share = 4;
  open.password = o.password;
  Database* db = nullptr;
  if ((rc = open_database(open, &db))) return rc;
  struct Closer {
    Database* db;
    ~Closer() { close_database(db); }
  } closer{db};
  int32_t count = 0, next = 0;
  db->counts(&count, &next);
  if (count != s.layout.header.record_count || s.present != s.records)
    done->push_back(format("database: %d records (the file cut after the last one)", count));

  // Damaged values are cleared; values whose back links are wrong are written again.
  for (const auto& [record, f] : s.damaged) {
    if (record >= count) continue;
    int32_t zero = 0;
    if ((rc = db->file().write_at(db->data_start() + uint64_t(record) * uint32_t(db->record_length()) +
                                      uint32_t(db->field(f).offset),
                                  &zero, 4)))
      return rc;
    done->push_back(value_place(s.layout, record, f) + ": damaged value cleared");
  }
  // A serial at or above the next serial: the counter moves past it.
  if (s.max_serial >= next) {
    int32_t moved = s.max_serial + 1;
    if ((rc = db->file().write_at(20, &moved, 4))) return rc;
    done->push_back(format("database: next serial %d -> %d", next, moved));
  }
  if (db->has_aux()) {
    // Survey the repaired chains again, then give every block no value uses to the free list.
    std::vector<Fault> again;
    Survey now;
    Options plain = o;
    plain.indexes.clear();
    // The survey reads the files closed: the database is closed for it and opened again.
    auto resurvey = [&]() -> int32_t {
      again.clear();
      db->flush();
      close_database(db);
      closer.db = nullptr;
      if (int32_t r = survey(plain, &again, &now, nullptr)) return r;
      if (int32_t r = open_database(open, &db)) return r;
      closer.db = db;
      return 0;
    };
    if ((rc = resurvey())) return rc;
    for (const auto& [record, f] : now.relink) {
      db->set_current(record);
      std::string value;
      if (db->read_stored(f, value) == 0 && db->write_stored(f, value.data(), uint32_t(value.size())) == 0)
        done->push_back(value_place(s.layout, record, f) + ": block links written again");
    }
    if (now.aux_header_ok) {
      if (!now.relink.empty() && (rc = resurvey())) return rc;
      if ((rc = rebuild_free_list(db->aux(), now, done))) return rc;
    }
  }

  // Every named index is rebuilt from the records, or made anew from what its header says.
  for (const std::string& name : o.indexes) {
    std::string ipath = index_path(path, name);
    std::string label = "index " + utf8_from_gbk(file_stem(ipath));
    IndexTree tree;
    rc = tree.open(ipath, true, Share::kExclusive, db->fields(), db->version());
    if (rc == 0) {
      RecordSource records;
      if ((rc = records_in_file(db->file(), db->data_start(), db->record_length(), &records)) ||
          (rc = tree.rebuild(records)))
        return rc;
      done->push_back(label + ": rebuilt");
      continue;
    }
    IndexSpec spec;
    spec.file = ipath;
    if (!index_spec_from_header(ipath, *db, &spec)) {
      done->push_back(label + ": cannot be repaired, its header names no key of this database (" + code_text(rc) + ")");
      continue;
    }
    tree.close();
    if (!DeleteFileA(ipath.c_str())) return file_error(GetLastError());
    if ((rc = db->create_index(spec))) return rc;
    done->push_back(label + ": made anew from its header");
  }
  return 0;
}

}  // namespace vdbtool
