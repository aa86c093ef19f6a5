#include "database/copy.h"
#include <windows.h>
#include <cstring>
#include "database/chains.h"
#include "database/create.h"
#include "database/names.h"

namespace database {

namespace {

constexpr uint32_t kBatchBytes = 163840;  // records are written in batches of about this size

}  // namespace

CopyWriter::~CopyWriter() {
  if (finished_) return;
  db_.close();
  aux_.close();
  if (!db_path_.empty()) DeleteFileA(db_path_.c_str());
  if (!aux_path_.empty()) DeleteFileA(aux_path_.c_str());
}

int32_t CopyWriter::create(Database& from, const std::string& file, const std::vector<int32_t>& fields) {
  from_ = &from;
  fields_ = fields;
  DbHeader source{};
  if (int32_t rc = from.file().read_exact(0, &source, sizeof source, -65)) return rc;

  int32_t offset = 4;
  bool chained = false;
  for (int32_t f : fields) {
    FieldDescriptor d = from.field(f);
    d.offset = offset;
    offset += field_size(d.type, d.text_size);
    chained = chained || chained_type(d.type);
    descriptors_.push_back(d);
  }
  record_length_ = offset;
  data_start_ = kDescriptorsOffset + static_cast<uint32_t>(descriptors_.size() * sizeof(FieldDescriptor));

  std::string path = with_default_extension(file, "VDB");
  if (int32_t rc = db_.open(path, true, Share::kExclusive, true)) return rc;
  db_path_ = path;
  DbHeader h{};
  std::memcpy(h.magic, source.magic, 4);
  std::memcpy(h.digest, source.digest, sizeof h.digest);
  h.version = kVersion;
  h.created = date_time_now();
  h.next_serial = 1;
  h.record_length = record_length_;
  int32_t count = static_cast<int32_t>(descriptors_.size());
  if (db_.write_at(0, &h, sizeof h) || db_.write_at(kFieldCountOffset, &count, 4) ||
      (count && db_.write_at(kDescriptorsOffset, descriptors_.data(), data_start_ - kDescriptorsOffset)))
    return -2;
  if (!chained) return 0;
  if (aux_.open(with_extension(path, "VDT"), true, Share::kExclusive, true)) return -50;
  aux_path_ = with_extension(path, "VDT");
  uint8_t block[kBlockSize] = {};
  AuxHeader a{};
  std::memcpy(a.magic, kAuxMagic, 4);
  a.version = kVersion;
  a.created = h.created;
  a.block_count = 1;
  std::memcpy(block, &a, sizeof a);
  return aux_.write_at(0, block, sizeof block) ? -50 : 0;
}

int32_t CopyWriter::add_current() {
  std::string source;
  if (int32_t rc = from_->read_record(source)) return rc;
  int32_t status;
  std::memcpy(&status, source.data(), 4);
  std::string record(static_cast<size_t>(record_length_), '\0');
  int32_t number = written_ + pending_count_ + 1;
  int32_t new_status = status < 0 ? -number : number;
  std::memcpy(record.data(), &new_status, 4);
  for (size_t i = 0; i < fields_.size(); ++i) {
    const FieldDescriptor& from_d = from_->field(fields_[i]);
    const FieldDescriptor& to_d = descriptors_[i];
    int32_t size = field_size(to_d.type, to_d.text_size);
    if (!chained_type(to_d.type)) {
      std::memcpy(record.data() + to_d.offset, source.data() + from_d.offset, static_cast<size_t>(size));
      continue;
    }
    std::string value;
    if (int32_t rc = from_->read_stored(fields_[i], value)) return rc;
    int32_t first = 0;
    if (!value.empty() && write_chain(aux_, value.data(), static_cast<uint32_t>(value.size()), 0, &first))
      return -59;
    std::memcpy(record.data() + to_d.offset, &first, 4);
  }
  pending_ += record;
  ++pending_count_;
  return pending_.size() >= kBatchBytes ? write_buffered() : 0;
}

int32_t CopyWriter::write_buffered() {
  if (pending_.empty()) return 0;
  uint64_t at = data_start_ + uint64_t(written_) * uint32_t(record_length_);
  if (db_.write_at(at, pending_.data(), static_cast<uint32_t>(pending_.size()))) return -2;
  written_ += pending_count_;
  pending_.clear();
  pending_count_ = 0;
  return 0;
}

int32_t CopyWriter::finish() {
  int32_t rc = write_buffered();
  int32_t counts[2] = {written_, written_ + 1};  // the count and the next serial
  if (!rc && db_.write_at(offsetof(DbHeader, record_count), counts, sizeof counts)) rc = -2;
  if (!rc && from_->has_password()) {
    rc = db_.change_cipher(from_->file().cipher());
    if (!rc && aux_.is_open() && from_->has_aux()) rc = aux_.change_cipher(from_->aux().cipher());
  }
  if (!rc && (db_.flush() || (aux_.is_open() && aux_.flush()))) rc = -2;
  if (rc) return rc;  // the destructor removes the files
  db_.close();
  aux_.close();
  finished_ = true;
  return 0;
}

}  // namespace database
