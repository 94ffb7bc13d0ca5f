// The C API's reading half: a handle over a MOCF read in place, its
// verdict, and its records walked on demand.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "api/ApiError.h"
#include "api/ApiFile.h"
#include "format/Describe.h"
#include "inspect/Extract.h"
#include "inputs/FileHelper.h"
#include "inspect/Listing.h"
#include "format/MocfTags.h"
#include "platform/ReplaceFile.h"

using mocfinfo::RecordInfo;

namespace {

// A walk's state is kept every so many records, so that any record is
// reached from one of them; a file of millions of records costs a few
// thousand of them.
constexpr int kCheckpointEvery = 1024;

int NoRecord(const mocf_file* file, int number) {
  return api::Fail(MOCF_ENOTFOUND, "there is no record " + std::to_string(number) +
                                       " (the walk finds " +
                                       std::to_string(file->inspection.recordCount) + ")\n");
}

int Lacks(const RecordInfo& record, const char* what) {
  return api::Fail(MOCF_ENOTFOUND, describe::RecordPlace(record.index, record.Tag(), record.offset) +
                                       " holds no " + what + "\n");
}

bool IsText(unsigned int tag) {
  return tag == mocf::kMenuSettingsTag || tag == mocf::kSwKeysTag ||
         tag == mocf::kCustomDefaultsTag;
}

bool IsFirmware(unsigned int tag) {
  return tag == mocf::kFirmwareTag || tag == mocf::kFirmwareAltTag;
}

void SetText(std::string_view text, const char** pText, size_t* pSize) {
  if (pText) *pText = text.data();
  if (pSize) *pSize = text.size();
}

void SetBytes(const unsigned char* pData, uint64_t size, const unsigned char** ppData,
              uint64_t* pSize) {
  if (ppData) *ppData = pData;
  if (pSize) *pSize = size;
}

// The record's bytes of one part, or the code of why there are none.
int PartBytes(mocf_file* file, int number, int part, std::string_view* pBytes) {
  RecordInfo record{};
  if (part < MOCF_PART_RECORD || part > MOCF_PART_CONTENT)
    return api::Fail(MOCF_EARG, "no such part of a record: " + std::to_string(part) + "\n");
  if (const int code = api::Find(file, number, &record)) return code;
  if (part == MOCF_PART_VALUE) {
    *pBytes = std::string_view(reinterpret_cast<const char*>(record.Value()), record.Length());
    return MOCF_OK;
  }
  std::string whyNot;
  const auto what =
      part == MOCF_PART_RECORD ? mocfinfo::Extraction::kRecord : mocfinfo::Extraction::kContent;
  if (!mocfinfo::ExtractedBytes(file->inspection, record, what, pBytes, &whyNot))
    return api::Fail(MOCF_ENOTFOUND, whyNot + "\n");
  return MOCF_OK;
}

int Open(mocf_file** out, const std::string& name, const std::function<bool(mocf_file*)>& load) {
  if (!out) return api::Fail(MOCF_EARG, "no place for the handle\n");
  *out = nullptr;
  auto file = std::make_unique<mocf_file>();
  if (!load(file.get())) return mocf_error_last()->code;
  file->inspection = file->image.Inspect(name);
  *out = file.release();
  return MOCF_OK;
}

}  // namespace

namespace api {

int Find(mocf_file* file, int number, RecordInfo* pRecord) {
  if (!file) return Fail(MOCF_EARG, "no MOCF handle\n");
  if (number < 1 || number > file->inspection.recordCount) return NoRecord(file, number);
  std::vector<mocfinfo::RecordWalk>& saved = file->checkpoints;
  if (saved.empty()) saved.push_back(file->inspection.Records());
  const size_t nearest =
      std::min(static_cast<size_t>((number - 1) / kCheckpointEvery), saved.size() - 1);
  const int nearestIndex = static_cast<int>(nearest) * kCheckpointEvery;
  if (!file->walk || file->current.index > number || file->current.index < nearestIndex) {
    file->walk = saved[nearest];
    file->current = RecordInfo{};
    file->current.index = nearestIndex;
  }
  while (file->current.index < number) {
    if (!file->walk->Next(&file->current)) return NoRecord(file, number);
    if (file->current.index % kCheckpointEvery == 0 &&
        static_cast<size_t>(file->current.index / kCheckpointEvery) == saved.size())
      saved.push_back(*file->walk);
  }
  *pRecord = file->current;
  return MOCF_OK;
}

}  // namespace api

extern "C" {

int mocf_open(mocf_file** out, const char* path) {
  return api::Guarded([&] {
    if (!path) return api::Fail(MOCF_EARG, "no path\n");
    return Open(out, path, [&](mocf_file* file) {
      std::string whyNot;
      if (file->image.Load(path, &whyNot)) return true;
      api::Fail(MOCF_EIO, std::string("cannot read ") + path + ": " + whyNot + "\n");
      return false;
    });
  });
}

int mocf_open_memory(mocf_file** out, const void* data, size_t size, const char* name) {
  return api::Guarded([&] {
    if (!data && size) return api::Fail(MOCF_EARG, "no bytes\n");
    return Open(out, name ? name : "(memory)", [&](mocf_file* file) {
      file->image.Adopt(static_cast<const unsigned char*>(data), size);
      return true;
    });
  });
}

void mocf_close(mocf_file* file) { delete file; }

uint64_t mocf_size(const mocf_file* file) { return file ? file->inspection.size : 0; }

int mocf_bytes(const mocf_file* file, const unsigned char** data, uint64_t* size) {
  return api::Guarded([&] {
    if (!file || !data || !size) return api::Fail(MOCF_EARG, "a MOCF handle and two places\n");
    *data = file->image.Data();
    *size = file->image.Size();
    return MOCF_OK;
  });
}

int mocf_valid(const mocf_file* file) { return file && file->inspection.valid ? 1 : 0; }

const char* mocf_reason(const mocf_file* file) {
  if (!file) return "no MOCF handle";
  return file->inspection.valid ? nullptr : file->inspection.reason.c_str();
}

int mocf_check(const mocf_file* file) {
  return api::Guarded([&] {
    if (!file) return api::Fail(MOCF_EARG, "no MOCF handle\n");
    if (file->inspection.valid) return MOCF_OK;
    return api::Fail(MOCF_EINVALID, mocfinfo::Verdict(file->inspection) + "\n", 1);
  });
}

const char* mocf_walk_stop(const mocf_file* file) {
  return file && !file->inspection.stop.empty() ? file->inspection.stop.c_str() : nullptr;
}

int mocf_record_count(const mocf_file* file) { return file ? file->inspection.recordCount : 0; }

int mocf_record_get(mocf_file* file, int number, mocf_record* out) {
  return api::Guarded([&] {
    RecordInfo record{};
    if (!out) return api::Fail(MOCF_EARG, "no place for the record\n");
    if (const int code = api::Find(file, number, &record)) return code;
    *out = {record.index, record.offset, record.Tag(), record.Length(), record.Kind(),
            record.read ? 1 : 0};
    return MOCF_OK;
  });
}

int mocf_record_description(mocf_file* file, int number, char** out) {
  return api::Guarded([&] {
    RecordInfo record{};
    if (!out) return api::Fail(MOCF_EARG, "no place for the description\n");
    *out = nullptr;
    if (const int code = api::Find(file, number, &record)) return code;
    const std::string text = mocfinfo::Content(file->inspection, record);
    char* copy = static_cast<char*>(std::malloc(text.size() + 1));
    if (!copy) throw std::bad_alloc();
    std::memcpy(copy, text.c_str(), text.size() + 1);
    *out = copy;
    return MOCF_OK;
  });
}

int mocf_record_data(mocf_file* file, int number, int part, const unsigned char** data,
                     uint64_t* size) {
  return api::Guarded([&] {
    std::string_view bytes;
    if (const int code = PartBytes(file, number, part, &bytes)) return code;
    SetBytes(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), data, size);
    return MOCF_OK;
  });
}

int mocf_record_read(mocf_file* file, int number, int part, uint64_t offset, void* buffer,
                     size_t capacity, size_t* copied) {
  return api::Guarded([&] {
    std::string_view bytes;
    if (!buffer && capacity) return api::Fail(MOCF_EARG, "no buffer\n");
    if (const int code = PartBytes(file, number, part, &bytes)) return code;
    const uint64_t from = std::min<uint64_t>(offset, bytes.size());
    const size_t count = static_cast<size_t>(std::min<uint64_t>(capacity, bytes.size() - from));
    if (count) std::memcpy(buffer, bytes.data() + from, count);
    if (copied) *copied = count;
    return MOCF_OK;
  });
}

int mocf_record_save(mocf_file* file, int number, int part, const char* path) {
  return api::Guarded([&] {
    std::string_view bytes;
    if (!path) return api::Fail(MOCF_EARG, "no path\n");
    if (const int code = PartBytes(file, number, part, &bytes)) return code;
    if (ReplaceFile(path, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                    file->image.Pace()))
      return MOCF_OK;
    return api::Fail(MOCF_EIO, std::string("cannot write ") + path + ": " +
                                   CFileHelper::WhyCannotWrite(path) + "\n",
                     2);
  });
}

int mocf_user_file(mocf_file* file, int number, const char** name, size_t* name_size,
                   const unsigned char** data, uint64_t* size) {
  return api::Guarded([&] {
    RecordInfo record{}, nameRecord{}, dataRecord{};
    if (const int code = api::Find(file, number, &record)) return code;
    if (record.Tag() != mocf::kUserFileTag) return Lacks(record, "user file");
    const unsigned char* image = file->inspection.image;
    // A piece is missing only when it is asked for: a damaged record still
    // shows what it has.
    const bool wantName = name || name_size, wantData = data || size;
    if (wantName && !mocfinfo::FindNested(record, image, mocf::kFileNameTag, &nameRecord))
      return Lacks(record, "file name record");
    if (wantData && !mocfinfo::FindNested(record, image, mocf::kDataTag, &dataRecord))
      return Lacks(record, "data record");
    if (wantName) SetText(mocfinfo::Text(nameRecord), name, name_size);
    if (wantData) SetBytes(dataRecord.Value(), dataRecord.Length(), data, size);
    return MOCF_OK;
  });
}

int mocf_text(mocf_file* file, int number, const char** text, size_t* size) {
  return api::Guarded([&] {
    RecordInfo record{};
    if (const int code = api::Find(file, number, &record)) return code;
    if (!IsText(record.Tag())) return Lacks(record, "settings text");
    SetText(mocfinfo::Text(record), text, size);
    return MOCF_OK;
  });
}

int mocf_part_number(mocf_file* file, int number, const char** text, size_t* size) {
  return api::Guarded([&] {
    RecordInfo record{};
    std::string_view part;
    if (const int code = api::Find(file, number, &record)) return code;
    if (record.Tag() != mocf::kSwKeysTag || !mocfinfo::PartNumber(record, &part))
      return Lacks(record, "part number");
    SetText(part, text, size);
    return MOCF_OK;
  });
}

int mocf_products(mocf_file* file, int number, uint32_t* products, size_t capacity,
                  size_t* count) {
  return api::Guarded([&] {
    RecordInfo record{}, list{};
    if (!products && capacity) return api::Fail(MOCF_EARG, "no buffer\n");
    if (const int code = api::Find(file, number, &record)) return code;
    if (record.Tag() == mocf::kCompatProdTag) {
      list = record;
    } else if (!IsFirmware(record.Tag()) ||
               !mocfinfo::FindNested(record, file->inspection.image, mocf::kFwCompatProdTag,
                                     &list)) {
      return Lacks(record, "product list");
    }
    const uint64_t all = mocfinfo::ProductCount(list);
    for (uint64_t i = 0; i < all && i < capacity; ++i)
      products[i] = mocfinfo::ProductAt(list, i);
    if (count) *count = static_cast<size_t>(all);
    return MOCF_OK;
  });
}

int mocf_firmware(mocf_file* file, int number, const char** software, size_t* software_size,
                  const unsigned char** data, uint64_t* size) {
  return api::Guarded([&] {
    RecordInfo record{}, version{}, dataRecord{};
    if (const int code = api::Find(file, number, &record)) return code;
    if (!IsFirmware(record.Tag())) return Lacks(record, "firmware");
    const unsigned char* image = file->inspection.image;
    const bool wantSoftware = software || software_size, wantData = data || size;
    if (wantSoftware && !mocfinfo::FindNested(record, image, mocf::kSwVersionTag, &version))
      return Lacks(record, "software version record");
    if (wantData && !mocfinfo::FindNested(record, image, mocf::kDataTag, &dataRecord))
      return Lacks(record, "data record");
    if (wantSoftware) SetText(mocfinfo::Text(version), software, software_size);
    if (wantData) SetBytes(dataRecord.Value(), dataRecord.Length(), data, size);
    return MOCF_OK;
  });
}

}  // extern "C"
