#include "inspect/Json.h"

#include <sstream>

#include "format/Describe.h"
#include "format/MocfTags.h"
#include "inspect/Listing.h"
#include "platform/Utf8Path.h"

namespace mocfinfo {

namespace {

const char kHex[] = "0123456789abcdef";

std::string Unicode(unsigned int c) {
  return std::string("\\u00") + kHex[(c >> 4) & 15] + kHex[c & 15];
}

std::string Escape(unsigned char c) {
  switch (c) {
    case '"':
      return "\\\"";
    case '\\':
      return "\\\\";
    case '\n':
      return "\\n";
    case '\t':
      return "\\t";
    case '\r':
      return "\\r";
    default:
      return c < 0x20 || c == 0x7F ? Unicode(c) : std::string(1, static_cast<char>(c));
  }
}

// Appends to out rather than building pieces: a text record may be huge.
void AppendJsonString(std::string_view bytes, std::ostream& out) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t size = bytes.size();
  out << '"';
  for (size_t i = 0; i < size;) {
    if (p[i] < 0x80) {
      out << Escape(p[i++]);
      continue;
    }
    const size_t length = Utf8Length(p + i, size - i);
    if (length == 0) {
      out << Unicode(p[i++]);
    } else {
      out.write(reinterpret_cast<const char*>(p + i), static_cast<std::streamsize>(length));
      i += length;
    }
  }
  out << '"';
}

void Field(const char* name, std::ostream& out) { out << ", \"" << name << "\": "; }

void ProductsField(const RecordInfo& record, std::ostream& out) {
  Field("products", out);
  out << '[';
  const uint64_t count = ProductCount(record);
  for (uint64_t i = 0; i < count; ++i) out << (i ? ", " : "") << ProductAt(record, i);
  out << ']';
}

void PrintRecord(const Inspection& inspection, const RecordInfo& record, std::ostream& out);

void NestedRecords(const Inspection& inspection, const RecordInfo& record, std::ostream& out) {
  Field("records", out);
  out << '[';
  RecordWalk walk(record, inspection.image);
  RecordInfo nested;
  while (walk.Next(&nested)) {
    if (nested.index > 1) out << ", ";
    PrintRecord(inspection, nested, out);
  }
  out << ']';
}

void UserFileFields(const Inspection& inspection, const RecordInfo& record, std::ostream& out) {
  RecordInfo name{}, data{};
  Field("name", out);
  if (FindNested(record, inspection.image, mocf::kFileNameTag, &name))
    AppendJsonString(Text(name), out);
  else
    out << "null";
  Field("size", out);
  if (FindNested(record, inspection.image, mocf::kDataTag, &data))
    out << data.Length();
  else
    out << "null";
}

void NestedFields(const RecordInfo& record, std::ostream& out) {
  switch (record.Tag()) {
    case mocf::kFwCompatProdTag:
      return ProductsField(record, out);
    case mocf::kSwVersionTag:
      return Field("text", out), AppendJsonString(Text(record), out);
    case mocf::kFileNameTag:
      return Field("name", out), AppendJsonString(Text(record), out);
    case mocf::kDataTag:
      Field("size", out), out << record.Length();
  }
}

void KindFields(const Inspection& inspection, const RecordInfo& record, std::ostream& out) {
  if (record.nestedLevel) return NestedFields(record, out);
  switch (record.Tag()) {
    case mocf::kVersionTag:
      Field("version", out);
      return AppendJsonString(describe::HexBytes(record.Value(), record.Length()), out);
    case mocf::kHashTag:
      Field("digest", out);
      AppendJsonString(StoredDigest(record), out);
      Field("digest_ok", out);
      out << (!record.read ? "null" : DigestMatches(inspection, record) ? "true" : "false");
      return;
    case mocf::kCompatProdTag:
      return ProductsField(record, out);
    case mocf::kUserFileTag:
      return UserFileFields(inspection, record, out);
    case mocf::kFirmwareTag:
    case mocf::kFirmwareAltTag:
      return NestedRecords(inspection, record, out);
    case mocf::kSwKeysTag:
    case mocf::kCustomDefaultsTag:
    case mocf::kMenuSettingsTag:
      return Field("text", out), AppendJsonString(Text(record), out);
  }
}

void PrintRecord(const Inspection& inspection, const RecordInfo& record, std::ostream& out) {
  out << "{\"index\": " << record.index << ", \"offset\": " << record.offset
      << ", \"tag\": " << record.Tag() << ", \"tag_hex\": \"0x" << TagHex(record.Tag())
      << "\", \"length\": " << record.Length();
  Field("kind", out);
  AppendJsonString(record.Kind(), out);
  if (!record.nestedLevel && record.Tag() <= mocf::kCompatProdTag)
    Field("read", out), out << (record.read ? "true" : "false");
  KindFields(inspection, record, out);
  out << '}';
}

}  // namespace

std::string JsonString(std::string_view bytes) {
  std::ostringstream out;
  AppendJsonString(bytes, out);
  return out.str();
}

void PrintJson(const Inspection& inspection, std::ostream& out) {
  out << "{\"file\": ";
  AppendJsonString(inspection.file, out);
  out << ", \"size\": " << inspection.size
      << ", \"valid\": " << (inspection.valid ? "true" : "false");
  Field("reason", out);
  if (inspection.valid)
    out << "null";
  else
    AppendJsonString(inspection.reason, out);
  Field("records", out);
  out << '[';
  RecordWalk walk = inspection.Records();
  RecordInfo record;
  while (walk.Next(&record)) {
    out << (record.index > 1 ? ",\n  " : "\n  ");
    PrintRecord(inspection, record, out);
  }
  out << (inspection.recordCount > 0 ? "\n]" : "]");
  Field("stop", out);
  if (inspection.stop.empty())
    out << "null";
  else
    AppendJsonString(inspection.stop, out);
  // Added after the others, so last; left out for bytes from no path.
  if (inspection.signature) {
    Field("signature_file", out);
    if (inspection.signature->empty())
      out << "null";
    else
      AppendJsonString(*inspection.signature, out);
  }
  out << "}\n";
}

}  // namespace mocfinfo
