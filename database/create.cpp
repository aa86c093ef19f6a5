// Creation of database and auxiliary files.
#include "database/create.h"
#include <windows.h>
#include <oleauto.h>
#include <cstring>
#include "database/file.h"
#include "database/format.h"
#include "database/names.h"

namespace database {

double date_time_now() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  double v = 0;
  SystemTimeToVariantTime(&st, &v);
  return v;
}

int32_t create_database(const std::string& file, const std::vector<FieldDef>& defs) {
  if (file.empty()) return -3;
  std::vector<FieldDef> fields;
  for (const FieldDef& d : defs) {
    if (d.name.empty()) break;
    fields.push_back(d);
  }
  if (fields.empty()) return -16;
  for (const FieldDef& f : fields) {
    if (!valid_name(f.name, true)) return -18;
    if (!valid_type(f.type)) return -17;
    if (f.type == kText && (f.size < 1 || f.size > kMaxTextSize)) return -19;
  }
  for (size_t i = 0; i < fields.size(); ++i)
    for (size_t j = i + 1; j < fields.size(); ++j)
      if (same_name(fields[i].name, fields[j].name)) return -20;

  std::string path = with_default_extension(file, "VDB");
  DbFile db;
  int32_t rc = db.open(path, true, Share::kExclusive, true);
  if (rc) return rc;
  double now = date_time_now();
  DbHeader h{};
  std::memcpy(h.magic, kPlainMagic, 4);
  h.version = kVersion;
  h.created = now;
  h.next_serial = 1;
  std::vector<FieldDescriptor> ds(fields.size());
  int32_t offset = 4;
  bool chained = false;
  for (size_t i = 0; i < fields.size(); ++i) {
    FieldDescriptor& d = ds[i];
    std::memset(&d, 0, sizeof d);
    std::memcpy(d.name, fields[i].name.data(), fields[i].name.size());
    d.type = fields[i].type;
    d.offset = offset;
    d.text_size = fields[i].type == kText ? fields[i].size : 0;
    offset += field_size(fields[i].type, fields[i].size);
    chained = chained || chained_type(fields[i].type);
  }
  h.record_length = offset;
  int32_t count = static_cast<int32_t>(fields.size());
  if (db.write_at(0, &h, sizeof h) || db.write_at(kFieldCountOffset, &count, 4) ||
      db.write_at(kDescriptorsOffset, ds.data(), static_cast<uint32_t>(ds.size() * sizeof(FieldDescriptor))))
    return -2;
  if (!chained) return 0;

  DbFile aux;
  if (aux.open(with_extension(path, "VDT"), true, Share::kExclusive, true)) return -50;
  uint8_t block[kBlockSize] = {};
  AuxHeader a{};
  std::memcpy(a.magic, kAuxMagic, 4);
  a.version = kVersion;
  a.created = now;
  a.block_count = 1;
  std::memcpy(block, &a, sizeof a);
  return aux.write_at(0, block, sizeof block) ? -50 : 0;
}

}  // namespace database
