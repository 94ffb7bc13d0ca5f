#include "inspect/Unpack.h"

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <utility>
#include <filesystem>
#include <fstream>
#include <set>
#include <system_error>
#include <vector>

#include "assemble/BuildPlan.h"
#include "format/Describe.h"
#include "format/MocfParser.h"
#include "inputs/FileHelper.h"
#include "inputs/FileType.h"
#include "image/ImageWriter.h"
#include "image/Sizes.h"
#include "inspect/Listing.h"
#include "format/MocfTags.h"
#include "inputs/ObjectRecordBuilder.h"
#include "platform/ReadPace.h"
#include "assemble/RunList.h"
#include "platform/Utf8Path.h"

namespace mocfinfo {

namespace {

namespace fs = std::filesystem;

const char kList[] = "records.list";

// Views into the image: a large record is not copied to be written out.
std::string_view Bytes(const unsigned char* p, uint64_t size) {
  return std::string_view(reinterpret_cast<const char*>(p), static_cast<size_t>(size));
}

// The record as a creator holds it: header and value, no padding.
std::string_view Whole(const RecordInfo& record) {
  return Bytes(CTlv::Bytes(record.header), CTlv::GetRecordSize(record.header));
}

// One way to write a record: its input file and the run that reads it.
struct Input_t {
  FileType_t Type;
  std::string File;  // empty for software keys without a file
  std::string Made;  // the file's bytes where they are not the image's
  std::string_view Content;
  std::string PartNum;
  unsigned int Tag = 0;
  std::vector<std::string> Words;
};

Input_t MadeInput(FileType_t type, const std::string& file, std::string made,
                  const std::string& partNum, std::vector<std::string> words) {
  Input_t input{type, file, std::move(made), {}, partNum, 0, std::move(words)};
  return input;
}

std::string Number(int index) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d", index);
  return text;
}

// A settings text as a file the settings reader gives back exactly: one
// line, and a ';' at its end that the reader drops again.
std::string SettingsFile(const std::string& text) { return text + ";\n"; }

// The text of a settings record without its terminator, or false.
bool SettingsText(const RecordInfo& record, char terminator, std::string* pText) {
  const std::string_view text = Text(record);
  if (text.empty() || text.back() != terminator) return false;
  *pText = std::string(text.substr(0, text.size() - 1));
  return true;
}

class CUnpacker {
 public:
  CUnpacker(const Inspection& inspection, const fs::path& dir)
      : m_Inspection(inspection), m_Dir(dir) {}

  // The line for a record, its input written; false when a file cannot be.
  bool Unpack(const RecordInfo& record, bool first, std::string* pLine);

 private:
  std::vector<Input_t> Candidates(const RecordInfo& record, bool first);
  void AddNatural(const RecordInfo& record, bool first, std::vector<Input_t>* pInputs);
  void AddUserFile(const RecordInfo& record, std::vector<Input_t>* pInputs);
  void AddSwKeys(const std::string& number, const RecordInfo& record,
                 std::vector<Input_t>* pInputs);
  bool Write(const Input_t& input);
  bool Rebuilds(const Input_t& input, const RecordInfo& record);
  std::string FreeName(const std::string& wanted) const;

  const Inspection& m_Inspection;
  fs::path m_Dir;
  std::set<std::string> m_Taken = {kList};
};

std::string CUnpacker::FreeName(const std::string& wanted) const {
  std::string name = wanted;
  for (int n = 2; m_Taken.count(name); ++n) name = wanted + "-" + std::to_string(n);
  return name;
}

void CUnpacker::AddUserFile(const RecordInfo& record, std::vector<Input_t>* pInputs) {
  RecordInfo name{}, data{};
  if (!FindNested(record, m_Inspection.image, mocf::kFileNameTag, &name) ||
      !FindNested(record, m_Inspection.image, mocf::kDataTag, &data))
    return;
  const std::string stored(Text(name));
  // Stored as typed, and so written where the run's path leads: a plain
  // name of this folder, not yet taken.
  if (stored.empty() || stored == "." || stored == ".." || m_Taken.count(stored) ||
      stored.find_first_of("/\\") != std::string::npos)
    return;
  pInputs->push_back({UserFile, stored, "", Bytes(data.Value(), data.Length()), "", 0,
                      {"-f", stored, "-t", "user"}});
}

// The part number comes last, after "FIMPNM", and has 1 to 20 characters;
// the keys before it, if any, come from a file and end with the ';' the
// builder puts between. Any split the builder turns back into the text will
// do: the last one that a command line accepts is taken.
void CUnpacker::AddSwKeys(const std::string& number, const RecordInfo& record,
                          std::vector<Input_t>* pInputs) {
  constexpr size_t kMaxPartNum = 20;
  std::string text;
  if (!SettingsText(record, '.', &text)) return;
  size_t at = text.rfind("FIMPNM");
  for (; at != std::string::npos; at = at ? text.rfind("FIMPNM", at - 1) : std::string::npos) {
    const size_t part = text.size() - at - 6;
    if (part >= 1 && part <= kMaxPartNum && (at == 0 || text[at - 1] == ';')) break;
  }
  if (at == std::string::npos) return;
  const std::string part = text.substr(at + 6), keys = text.substr(0, at);
  if (keys.empty()) {
    pInputs->push_back(
        MadeInput(SwKeys, "", "", part, {"--type", "SwKeys", "--PartNum", part}));
  } else if (keys.back() == ';') {
    const std::string file = FreeName(number + "-sw-keys.txt");
    pInputs->push_back(MadeInput(SwKeys, file, SettingsFile(keys.substr(0, keys.size() - 1)),
                                 part, {"--type", "SwKeys", "--PartNum", part, "-f", file}));
  }
}

void CUnpacker::AddNatural(const RecordInfo& record, bool first, std::vector<Input_t>* pInputs) {
  const std::string number = Number(record.index);
  std::string text;
  switch (record.Tag()) {
    case mocf::kCompatProdTag: {
      if (!first) break;
      std::string numbers;
      for (uint64_t i = 0; i < ProductCount(record); ++i)
        numbers += std::to_string(ProductAt(record, i)) + "\n";
      const std::string file = FreeName(number + "-products.txt");
      pInputs->push_back(
          MadeInput(CompatProd, file, numbers, "", {"-f", file, "-t", "CompatProd"}));
      break;
    }
    case mocf::kUserFileTag:
      AddUserFile(record, pInputs);
      break;
    case mocf::kMenuSettingsTag:
      if (SettingsText(record, '.', &text)) {
        const std::string file = FreeName(number + "-menu-settings.txt");
        pInputs->push_back(MadeInput(MenuSettings, file, SettingsFile(text), "",
                                     {"-f", file, "--type", "MenuSettings"}));
      }
      break;
    case mocf::kCustomDefaultsTag:
      if (SettingsText(record, '@', &text)) {
        const std::string file = FreeName(number + "-custom-defaults.txt");
        pInputs->push_back(MadeInput(CustomDefaults, file, SettingsFile(text), "",
                                     {"-f", file, "-t", "CustomDefaults"}));
      }
      break;
    case mocf::kSwKeysTag:
      AddSwKeys(number, record, pInputs);
      break;
    default:
      break;
  }
}

// In the order a person would choose them; the record whole as an object
// file always rebuilds it, so it comes last.
std::vector<Input_t> CUnpacker::Candidates(const RecordInfo& record, bool first) {
  std::vector<Input_t> inputs;
  AddNatural(record, first, &inputs);
  const std::string number = Number(record.index);
  const unsigned int tag = record.Tag();
  const bool firmware = tag == mocf::kFirmwareTag || tag == mocf::kFirmwareAltTag;
  if (!firmware && tag != mocf::kUserFileTag && (tag < mocf::kSwKeysTag || tag > mocf::kMenuSettingsTag)) {
    const std::string file = FreeName(number + "-tag-" + TagHex(tag) + ".bin");
    inputs.push_back({Binary, file, "", Bytes(record.Value(), record.Length()), "", tag,
                      {"--type", "binary", "--tag", "0x" + TagHex(tag), "-f", file}});
  }
  std::string kind = describe::KindName(tag);
  for (char& c : kind) c = c == ' ' ? '-' : c;
  const std::string file = FreeName(number + "-" + kind + ".obj");
  inputs.push_back({Object, file, "", Whole(record), "", 0, {"-f", file, "-t", "object"}});
  return inputs;
}

bool CUnpacker::Write(const Input_t& input) {
  if (input.File.empty()) return true;
  const std::string_view content = input.Made.empty() ? input.Content : input.Made;
  std::ofstream out(m_Dir / Utf8Path(input.File), std::ios::binary | std::ios::trunc);
  for (size_t at = 0; at < content.size() && out; at += CReadPace::kWindow) {
    const size_t chunk = std::min<size_t>(CReadPace::kWindow, content.size() - at);
    out.write(content.data() + at, static_cast<std::streamsize>(chunk));
    CReadPace::Moved(m_Inspection.pace, chunk);
  }
  return static_cast<bool>(out.flush());
}

// A large input that is the image's own bytes is not built again whole:
// the builder's head must be the record's, over a file of the right length.
// The bytes themselves are compared once, with the whole image, at the end.
bool HeadRebuilds(const InParams_t& params, const Input_t& input, const RecordInfo& record) {
  if (input.Type == Object)
    return CFileHelper::GetFileLength(OpenedPath(&params)) ==
           static_cast<int64_t>(input.Content.size());
  CTlvContainerCreator head;
  RecordTail_t tail{};
  if (!CreateObjectRecordHead(&params, &head, &tail)) return false;
  const std::vector<unsigned char>& bytes = *head.Get();
  const std::string_view whole = Whole(record);
  // A user file's data record is padded inside it; a binary record's value
  // is the file alone.
  const uint64_t padding = input.Type == UserFile ? tail.Padding : 0;
  return tail.FileBytes == input.Content.size() &&
         bytes.size() + input.Content.size() + padding == whole.size() &&
         std::equal(bytes.begin(), bytes.end(), reinterpret_cast<const unsigned char*>(whole.data()));
}

bool FullyRebuilds(const InParams_t& params, const RecordInfo& record) {
  CTlvContainerCreator rebuilt;
  if (!CreateObjectRecordFromFile(&params, &rebuilt)) return false;
  const std::vector<unsigned char>& bytes = *rebuilt.Get();
  const std::string_view whole = Whole(record);
  return bytes.size() == whole.size() &&
         std::equal(bytes.begin(), bytes.end(), reinterpret_cast<const unsigned char*>(whole.data()));
}

// Built again from what was written, by the builders the tool uses, as
// the list's line reads it: typed for the list's folder, where it lies.
bool CUnpacker::Rebuilds(const Input_t& input, const RecordInfo& record) {
  ClearErrorStr();
  const std::string path = Utf8Of(m_Dir / Utf8Path(input.File));
  const InParams_t params = {input.File.c_str(), input.PartNum.c_str(), input.Type, input.Tag,
                             input.File.empty() ? nullptr : path.c_str()};
  return input.Made.empty() && input.Content.size() > kBuiltWhole
             ? HeadRebuilds(params, input, record)
             : FullyRebuilds(params, record);
}

bool CUnpacker::Unpack(const RecordInfo& record, bool first, std::string* pLine) {
  for (const Input_t& input : Candidates(record, first)) {
    std::string line;
    // A name the file system refuses (too long, say) is one more reason to
    // take the next way down.
    if (!TypeableLine(input.Words, &line) || !Write(input)) continue;
    if (Rebuilds(input, record)) {
      if (!input.File.empty()) m_Taken.insert(input.File);
      *pLine = line;
      return true;
    }
    std::error_code ec;
    if (!input.File.empty()) fs::remove(m_Dir / Utf8Path(input.File), ec);
  }
  return false;
}

// Why no list can give these bytes back, as far as the layout shows.
std::vector<std::string> LayoutReasons(const Inspection& inspection) {
  // Some other file has no layout to speak of.
  if (CMocfParser::IsNotMocf(inspection.image, inspection.size)) return {inspection.reason};
  std::vector<std::string> reasons;
  if (!inspection.valid) reasons.push_back("the MOCF is invalid: " + inspection.reason);
  if (!inspection.stop.empty())
    reasons.push_back("records the walk cannot reach: " + inspection.stop);
  RecordWalk walk = inspection.Records();
  RecordInfo record;
  uint64_t end = CTlv::kHeaderSize;
  while (walk.Next(&record)) {
    const std::string place = describe::RecordPlace(record.index, record.Tag(), record.offset);
    if (record.index == 1 &&
        Whole(record) != std::string("\0\0\0\0\2\0\0\0\0\0", 10))
      reasons.push_back(place + ": not the version record every build writes (00 00)");
    if (record.index == 2 && (record.Tag() != mocf::kHashTag || record.Length() != mocf::kHashSize))
      reasons.push_back(place + ": every build writes its hash record (20 bytes) second");
    const uint64_t padded = CTlvContainerParser::GetPaddedSize(record.header);
    for (uint64_t i = CTlv::GetRecordSize(record.header); i < padded; ++i)
      if (record.offset + i < inspection.size && inspection.image[record.offset + i] != 0) {
        reasons.push_back(place + ": its padding holds bytes other than zero");
        break;
      }
    end = record.offset + padded;
  }
  if (inspection.stop.empty() && end < inspection.size)
    reasons.push_back("bytes " + describe::Hex(end) + " to " + describe::Hex(inspection.size) +
                      " follow the container");
  return reasons;
}

// The list is read and checked as mocfbuild would read and check it, from
// its folder; the image it describes must be the one unpacked, every byte
// but the digest. The digest needs no comparing: the image is valid, so its
// stored digest is the one all the other bytes call for, in both images.
bool RebuildsExactly(const Inspection& inspection, const std::string& dir, std::string* pWhy) {
  const fs::path folder = fs::absolute(Utf8Path(dir));
  CRunList runs;
  if (!runs.Open(Utf8Of(folder / kList).c_str())) {
    *pWhy = "its list cannot be read back";
    return false;
  }
  mocfbuild::CBuildPlan plan({Utf8Of(folder / ".rebuilt.mocf"), true, false, Utf8Of(folder)});
  mocfbuild::Failure_t failure;
  const bool planned = plan.Make(&runs, &failure, nullptr);
  const ImageJob_t job = planned ? plan.Job() : ImageJob_t();
  const uint64_t digestAt = plan.DigestOffset();
  RecordInfo hash{};
  const bool digestInPlace = inspection.Find(2, &hash) && hash.Tag() == mocf::kHashTag &&
                             hash.offset + CTlv::kHeaderSize == digestAt;
  const bool sized = planned && ImageSize(job.Pieces) == inspection.size;
  const bool equal = sized && digestInPlace &&
                     ImageEquals(job.Pieces, inspection.image, inspection.size,
                                 {digestAt, digestAt + mocf::kHashSize}, inspection.pace);
  if (!planned) {
    std::string text = failure.Text();
    for (char& c : text) c = c == '\n' ? ' ' : c;
    *pWhy = "mocfbuild would stop at " + std::string(kList) + ":" + std::to_string(failure.Line) +
            ": " + text;
    return false;
  }
  if (equal) return true;
  *pWhy = sized ? "the rebuilt image would differ from it"
                : "the rebuilt image would be " + std::to_string(ImageSize(job.Pieces)) +
                      " bytes, not " + std::to_string(inspection.size);
  return false;
}

bool MakeFolder(const fs::path& dir, std::string* pWhy) {
  std::error_code ec;
  if (fs::create_directory(dir, ec)) return true;
  if (fs::is_directory(dir, ec) && fs::is_empty(dir, ec) && !ec) return true;
  *pWhy = ec ? ec.message() : fs::is_directory(dir, ec) ? "it is not empty" : "it is not a folder";
  return false;
}

}  // namespace

int Unpack(const Inspection& inspection, const std::string& dir, std::ostream& err) {
  return Unpack(inspection, [&]() -> const Inspection& { return inspection; }, dir, err);
}

int Unpack(const Inspection& walked, const std::function<const Inspection&()>& judged,
           const std::string& dir, std::ostream& err) {
  std::string why;
  if (!MakeFolder(Utf8Path(dir), &why)) {
    err << "mocfinfo: cannot unpack into " << dir << ": " << why << '\n';
    return kCouldNot;
  }
  CUnpacker unpacker(walked, Utf8Path(dir));
  std::vector<std::pair<RecordInfo, std::string>> lines;
  RecordWalk walk = walked.Records();
  RecordInfo record;
  bool first = true;
  while (walk.Next(&record)) {
    // Every build writes these itself.
    if ((record.index == 1 && record.Tag() == mocf::kVersionTag) ||
        (record.index == 2 && record.Tag() == mocf::kHashTag))
      continue;
    std::string line;
    if (!unpacker.Unpack(record, first, &line)) {
      err << "mocfinfo: cannot write the input of record " << record.index << " in " << dir << '\n';
      return kCouldNot;
    }
    lines.emplace_back(record, line);
    first = false;
  }
  const Inspection& inspection = judged();
  const std::string name = describe::Escaped(
      reinterpret_cast<const unsigned char*>(inspection.file.data()), inspection.file.size());
  std::string list = "// " + name +
                     ", unpacked by mocfinfo; rebuild it with\n//   mocfbuild -d -m NEW " +
                     kList + "\n";
  for (const auto& [unpacked, line] : lines) {
    const std::string content = Content(inspection, unpacked);
    list += "// record " + std::to_string(unpacked.index) + ": " + unpacked.Kind() +
            (content.empty() ? "" : " " + content) + "\n" + line + "\n";
  }
  std::ofstream out(Utf8Path(dir) / kList, std::ios::binary | std::ios::trunc);
  if (!out.write(list.data(), static_cast<std::streamsize>(list.size())).flush()) {
    err << "mocfinfo: cannot write " << Utf8Of(Utf8Path(dir) / kList) << '\n';
    return kCouldNot;
  }
  std::vector<std::string> reasons = LayoutReasons(inspection);
  if (reasons.empty() && !RebuildsExactly(inspection, dir, &why)) reasons.push_back(why);
  for (const std::string& reason : reasons)
    err << "mocfinfo: " << inspection.file << " cannot be rebuilt exactly: " << reason << '\n';
  return reasons.empty() ? kValid : kInvalid;
}

}  // namespace mocfinfo
