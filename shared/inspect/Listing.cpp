#include "inspect/Listing.h"

#include <algorithm>
#include <iomanip>

#include "format/Describe.h"
#include "format/MocfTags.h"

namespace mocfinfo {

namespace {

constexpr size_t kMaxText = 60;
constexpr uint64_t kMaxProducts = 8;
constexpr size_t kMaxVersionBytes = 16;

std::string Quoted(std::string_view text) {
  return "\"" +
         describe::Shortened(reinterpret_cast<const unsigned char*>(text.data()), text.size(),
                             kMaxText) +
         "\"";
}

std::string ProductList(const RecordInfo& record) {
  const uint64_t count = ProductCount(record);
  if (count == 0) return "no products";
  std::string out;
  for (uint64_t i = 0; i < std::min(count, kMaxProducts); ++i)
    out += (i ? ", " : "") + std::to_string(ProductAt(record, i));
  if (count > kMaxProducts) out += ", ... (" + std::to_string(count) + " in all)";
  return out;
}

std::string VersionBytes(const RecordInfo& record) {
  const size_t shown = std::min<size_t>(record.Length(), kMaxVersionBytes);
  std::string out;
  for (size_t i = 0; i < shown; ++i)
    out += (i ? " " : "") + describe::HexBytes(record.Value() + i, 1);
  if (record.Length() > shown) out += " ...";
  return shown ? out : "empty";
}

std::string HashContent(const Inspection& inspection, const RecordInfo& record) {
  const char* verdict = DigestMatches(inspection, record) ? " matches"
                        : inspection.digest.empty()       ? " cannot be checked"
                                                          : " does not match";
  return StoredDigest(record) + verdict;
}

std::string UserFile(const Inspection& inspection, const RecordInfo& record) {
  RecordInfo name{}, data{};
  const bool hasName = FindNested(record, inspection.image, mocf::kFileNameTag, &name);
  const bool hasData = FindNested(record, inspection.image, mocf::kDataTag, &data);
  return (hasName ? Quoted(Text(name)) : "no file name") + ", " +
         (hasData ? std::to_string(data.Length()) + " bytes" : "no data");
}

std::string Firmware(const Inspection& inspection, const RecordInfo& record) {
  RecordInfo products{}, version{}, data{};
  std::string out = "products ";
  out += FindNested(record, inspection.image, mocf::kFwCompatProdTag, &products)
             ? ProductList(products)
             : "missing";
  out += "; software ";
  out += FindNested(record, inspection.image, mocf::kSwVersionTag, &version) ? Quoted(Text(version))
                                                                             : "missing";
  out += "; data ";
  out += FindNested(record, inspection.image, mocf::kDataTag, &data)
             ? std::to_string(data.Length()) + " bytes"
             : "missing";
  return out;
}

std::string VerdictWords(const Inspection& inspection) {
  return inspection.valid ? "valid" : "invalid: " + inspection.reason;
}

size_t Digits(uint64_t value) { return std::to_string(value).size(); }

struct Widths {
  size_t index = 1, offset = 6, tag = 8, length = 6;
};

Widths MeasureColumns(const Inspection& inspection) {
  Widths widths;
  RecordWalk walk = inspection.Records();
  RecordInfo record;
  while (walk.Next(&record)) {
    widths.index = std::max(widths.index, Digits(static_cast<uint64_t>(record.index)));
    widths.offset = std::max(widths.offset, describe::Hex(record.offset).size());
    widths.length = std::max(widths.length, Digits(record.Length()));
  }
  return widths;
}

}  // namespace

std::string TagHex(unsigned int tag) {
  std::string hex = describe::Hex(tag).substr(2);
  return std::string(8 - hex.size(), '0') + hex;
}

std::string Verdict(const Inspection& inspection) {
  return inspection.file + ": " + VerdictWords(inspection);
}

std::string Content(const Inspection& inspection, const RecordInfo& record) {
  if (record.nestedLevel) return "";
  if (!record.read) {
    // A digest here is no verdict on the file: nothing compares it.
    RecordInfo asRead = record;
    asRead.read = true;
    return std::string("(not read: the first ") + record.Kind() + " record is) " +
           (record.Tag() == mocf::kHashTag ? StoredDigest(record) : Content(inspection, asRead));
  }
  switch (record.Tag()) {
    case mocf::kVersionTag:
      return VersionBytes(record);
    case mocf::kHashTag:
      return HashContent(inspection, record);
    case mocf::kCompatProdTag:
      return ProductList(record);
    case mocf::kUserFileTag:
      return UserFile(inspection, record);
    case mocf::kFirmwareTag:
    case mocf::kFirmwareAltTag:
      return Firmware(inspection, record);
    case mocf::kSwKeysTag:
    case mocf::kCustomDefaultsTag:
    case mocf::kMenuSettingsTag:
      return Quoted(Text(record));
    default:
      return "";
  }
}

void PrintListing(const Inspection& inspection, std::ostream& out) {
  const int count = inspection.recordCount;
  out << inspection.file << ": " << inspection.size << " bytes, " << count
      << (count == 1 ? " record, " : " records, ") << VerdictWords(inspection) << '\n';
  if (count == 0 && inspection.stop.empty()) return;
  const Widths w = MeasureColumns(inspection);
  out << std::left << std::setw(static_cast<int>(w.index)) << "#" << std::right << ' '
      << std::setw(static_cast<int>(w.offset)) << "offset" << ' ' << std::left
      << std::setw(static_cast<int>(w.tag)) << "tag" << std::right << ' '
      << std::setw(static_cast<int>(w.length)) << "length"
      << " record\n";
  RecordWalk walk = inspection.Records();
  RecordInfo record;
  while (walk.Next(&record)) {
    const std::string content = Content(inspection, record);
    out << std::setw(static_cast<int>(w.index)) << record.index << ' '
        << std::setw(static_cast<int>(w.offset)) << describe::Hex(record.offset) << ' '
        << TagHex(record.Tag()) << ' ' << std::setw(static_cast<int>(w.length)) << record.Length()
        << ' ' << record.Kind() << (content.empty() ? "" : " " + content) << '\n';
  }
  if (!inspection.stop.empty()) out << "the walk stops: " << inspection.stop << '\n';
  // Named, never judged: what it signs is for mocfsign to check.
  if (inspection.signature && !inspection.signature->empty())
    out << "Signature file: " << *inspection.signature
        << " beside it (not checked here; mocfsign --verify checks it)\n";
}

}  // namespace mocfinfo
