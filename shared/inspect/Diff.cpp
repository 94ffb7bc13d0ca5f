#include "inspect/Diff.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <string_view>
#include <tuple>
#include <utility>

#include "format/Describe.h"
#include "format/MocfParser.h"
#include "image/ImageWriter.h"
#include "platform/JoinedThread.h"
#include "inspect/Listing.h"
#include "inspect/MocfImage.h"
#include "format/MocfTags.h"
#include "sha1/sha1.h"

namespace mocfinfo {

namespace {

// What a record is matched by: its tag, a user file's name, and which of
// the records with both it is.
using Key = std::tuple<unsigned int, std::string, int>;

struct Entry {
  RecordInfo record;
  Key key;
};

std::string NameOf(const Inspection& inspection, const RecordInfo& record, bool* pHasName) {
  RecordInfo name{};
  *pHasName = FindNested(record, inspection.image, mocf::kFileNameTag, &name);
  return *pHasName ? std::string(Text(name)) : std::string();
}

std::vector<Entry> Entries(const Inspection& inspection) {
  std::vector<Entry> entries;
  std::map<std::pair<unsigned int, std::string>, int> seen;
  RecordWalk walk = inspection.Records();
  RecordInfo record;
  while (walk.Next(&record)) {
    // The digest follows from the records: it is no change of its own. A
    // hash record after it is a record like any other.
    if (record.Tag() == mocf::kHashTag && record.read) continue;
    bool hasName = false;
    std::string name =
        record.Tag() == mocf::kUserFileTag ? NameOf(inspection, record, &hasName) : "";
    const int k = seen[{record.Tag(), name}]++;
    entries.push_back({record, Key{record.Tag(), std::move(name), k}});
  }
  return entries;
}

// Read a step at a time, each side's pace told as it goes, so that a large
// file costs about its pace's window of memory.
constexpr uint64_t kUnpacedStep = 1 << 30;

bool SameValue(const Inspection& oldSide, const RecordInfo& oldRecord, const Inspection& newSide,
               const RecordInfo& newRecord) {
  if (oldRecord.Length() != newRecord.Length()) return false;
  const uint64_t step = std::min(CReadPace::Step(oldSide.pace, kUnpacedStep),
                                 CReadPace::Step(newSide.pace, kUnpacedStep));
  for (uint64_t at = 0; at < oldRecord.Length(); at += step) {
    const size_t chunk = static_cast<size_t>(std::min(step, oldRecord.Length() - at));
    const bool same = std::memcmp(oldRecord.Value() + at, newRecord.Value() + at, chunk) == 0;
    CReadPace::Moved(oldSide.pace, chunk);
    CReadPace::Moved(newSide.pace, chunk);
    if (!same) return false;
  }
  return true;
}

std::string Sha1Hex(const RecordInfo& record, CReadPace* pPace) {
  CSha1 sha1;
  sha1.Init();
  const unsigned char* p = record.Value();
  for (uint64_t left = record.Length(); left > 0;) {
    const unsigned int chunk =
        static_cast<unsigned int>(std::min(left, CReadPace::Step(pPace, kUnpacedStep)));
    sha1.Update(p, chunk);
    CReadPace::Moved(pPace, chunk);
    p += chunk;
    left -= chunk;
  }
  unsigned char digest[20];
  sha1.GetResult(digest);
  return describe::HexBytes(digest, sizeof digest);
}

void AddField(DiffChange* pChange, const std::string& field, const std::string& oldValue,
              const std::string& newValue) {
  if (oldValue != newValue) pChange->fields.push_back({field, oldValue, newValue});
}

// The SHA-1 of two values, side by side: as long as hashing both files.
void AddSha1(const Inspection& oldSide, const RecordInfo& oldRecord, const Inspection& newSide,
             const RecordInfo& newRecord, DiffChange* pChange) {
  std::string oldHex;
  {
    CJoinedThread hasher([&] { oldHex = Sha1Hex(oldRecord, oldSide.pace); },
                         oldRecord.Length() < kSmallImage);
    const std::string newHex = Sha1Hex(newRecord, newSide.pace);
    hasher.Join();
    AddField(pChange, "sha1", oldHex, newHex);
  }
}

// Size and SHA-1 of two values that differ.
void DataFields(const Inspection& oldSide, const RecordInfo& oldData, const Inspection& newSide,
                const RecordInfo& newData, DiffChange* pChange) {
  AddField(pChange, "size", std::to_string(oldData.Length()), std::to_string(newData.Length()));
  if (!SameValue(oldSide, oldData, newSide, newData))
    AddSha1(oldSide, oldData, newSide, newData, pChange);
}

std::vector<uint32_t> Products(const RecordInfo& record) {
  std::vector<uint32_t> products;
  const uint64_t count = ProductCount(record);
  for (uint64_t i = 0; i < count; ++i) products.push_back(ProductAt(record, i));
  return products;
}

std::string ProductText(const std::vector<uint32_t>& products) {
  std::string text;
  for (uint32_t product : products) text += (text.empty() ? "" : ", ") + std::to_string(product);
  return text;
}

// The numbers only one side has, as added and removed; the order alone
// when that is all that differs.
void ProductItems(const RecordInfo& oldList, const RecordInfo& newList, DiffChange* pChange) {
  std::vector<uint32_t> oldProducts = Products(oldList), newProducts = Products(newList);
  const std::string oldText = ProductText(oldProducts), newText = ProductText(newProducts);
  std::sort(oldProducts.begin(), oldProducts.end());
  std::sort(newProducts.begin(), newProducts.end());
  std::vector<uint32_t> added, removed;
  std::set_difference(newProducts.begin(), newProducts.end(), oldProducts.begin(),
                      oldProducts.end(), std::back_inserter(added));
  std::set_difference(oldProducts.begin(), oldProducts.end(), newProducts.begin(),
                      newProducts.end(), std::back_inserter(removed));
  pChange->numbers = true;
  for (uint32_t product : added) pChange->added.push_back(std::to_string(product));
  for (uint32_t product : removed) pChange->removed.push_back(std::to_string(product));
  if (added.empty() && removed.empty()) AddField(pChange, "products", oldText, newText);
}

// A settings text as "key=value" items, in order; false when it is not
// items at all.
bool Items(std::string_view text, std::vector<std::pair<std::string, std::string>>* pItems) {
  if (text.empty()) return true;
  for (size_t at = 0;;) {
    const size_t end = std::min(text.find(';', at), text.size());
    const std::string_view item = text.substr(at, end - at);
    const size_t equals = item.find('=');
    // ";;" and a ';' before the terminator come from a settings file as the
    // tool keeps it: no item, but no reason to compare the text whole.
    if (!item.empty() && (equals == std::string_view::npos || equals == 0)) return false;
    if (!item.empty()) pItems->emplace_back(item.substr(0, equals), item.substr(equals + 1));
    if (end == text.size()) return true;
    at = end + 1;
  }
}

// The text without its terminator and, for software keys, without the part
// number that closes it.
std::string_view SettingsPart(const RecordInfo& record, std::string_view* pPartNumber) {
  std::string_view text = Text(record);
  const char terminator = record.Tag() == mocf::kCustomDefaultsTag ? '@' : '.';
  if (!text.empty() && text.back() == terminator) text.remove_suffix(1);
  if (record.Tag() == mocf::kSwKeysTag && PartNumber(record, pPartNumber)) {
    text.remove_suffix(std::min(text.size(), pPartNumber->size() + 6));
    if (!text.empty() && text.back() == ';') text.remove_suffix(1);
  }
  return text;
}

void SettingsItems(const RecordInfo& oldRecord, const RecordInfo& newRecord,
                   DiffChange* pChange) {
  std::string_view oldPart, newPart;
  const std::string_view oldText = SettingsPart(oldRecord, &oldPart);
  const std::string_view newText = SettingsPart(newRecord, &newPart);
  if (oldRecord.Tag() == mocf::kSwKeysTag)
    AddField(pChange, "part number", std::string(oldPart), std::string(newPart));
  std::vector<std::pair<std::string, std::string>> oldItems, newItems;
  if (!Items(oldText, &oldItems) || !Items(newText, &newItems)) {
    AddField(pChange, "text", std::string(Text(oldRecord)), std::string(Text(newRecord)));
    return;
  }
  // The k-th item of a key on one side with the k-th of it on the other.
  std::map<std::pair<std::string, int>, std::string> oldByKey;
  std::map<std::string, int> seen;
  for (const auto& [key, value] : oldItems) oldByKey[{key, seen[key]++}] = value;
  seen.clear();
  for (const auto& [key, value] : newItems) {
    const auto found = oldByKey.find({key, seen[key]++});
    if (found == oldByKey.end()) {
      pChange->added.push_back(key + "=" + value);
      continue;
    }
    if (found->second != value) pChange->changed.push_back({key, found->second, value});
    oldByKey.erase(found);
  }
  seen.clear();
  for (const auto& [key, value] : oldItems) {
    if (oldByKey.count({key, seen[key]++})) pChange->removed.push_back(key + "=" + value);
  }
}

void FirmwareFields(const Inspection& oldSide, const RecordInfo& oldRecord,
                    const Inspection& newSide, const RecordInfo& newRecord, DiffChange* pChange) {
  RecordInfo oldNested{}, newNested{};
  const auto both = [&](unsigned int tag) {
    return FindNested(oldRecord, oldSide.image, tag, &oldNested) &&
           FindNested(newRecord, newSide.image, tag, &newNested);
  };
  if (both(mocf::kFwCompatProdTag))
    AddField(pChange, "products", ProductText(Products(oldNested)),
             ProductText(Products(newNested)));
  if (both(mocf::kSwVersionTag))
    AddField(pChange, "software", std::string(Text(oldNested)), std::string(Text(newNested)));
  if (both(mocf::kDataTag)) DataFields(oldSide, oldNested, newSide, newNested, pChange);
}

void UserFileFields(const Inspection& oldSide, const RecordInfo& oldRecord,
                    const Inspection& newSide, const RecordInfo& newRecord, DiffChange* pChange) {
  RecordInfo oldData{}, newData{};
  if (!FindNested(oldRecord, oldSide.image, mocf::kDataTag, &oldData) ||
      !FindNested(newRecord, newSide.image, mocf::kDataTag, &newData))
    return;
  // Of one name and different, the records differ in their data: hashed
  // at once, without comparing the bytes a second time.
  AddField(pChange, "size", std::to_string(oldData.Length()), std::to_string(newData.Length()));
  AddSha1(oldSide, oldData, newSide, newData, pChange);
}

// What a matched pair whose values differ says differently. Bytes that
// differ where the kind's terms see nothing are said as the record's
// length and SHA-1.
void Differences(const Inspection& oldSide, const RecordInfo& oldRecord,
                 const Inspection& newSide, const RecordInfo& newRecord, DiffChange* pChange) {
  switch (oldRecord.Tag()) {
    case mocf::kVersionTag:
      AddField(pChange, "version", describe::HexBytes(oldRecord.Value(), oldRecord.Length()),
               describe::HexBytes(newRecord.Value(), newRecord.Length()));
      break;
    case mocf::kCompatProdTag:
      ProductItems(oldRecord, newRecord, pChange);
      break;
    case mocf::kMenuSettingsTag:
    case mocf::kSwKeysTag:
    case mocf::kCustomDefaultsTag:
      SettingsItems(oldRecord, newRecord, pChange);
      break;
    case mocf::kUserFileTag:
      UserFileFields(oldSide, oldRecord, newSide, newRecord, pChange);
      break;
    case mocf::kFirmwareTag:
    case mocf::kFirmwareAltTag:
      FirmwareFields(oldSide, oldRecord, newSide, newRecord, pChange);
      break;
  }
  const bool said = !pChange->fields.empty() || !pChange->added.empty() ||
                    !pChange->removed.empty() || !pChange->changed.empty();
  if (!said) {
    AddField(pChange, "length", std::to_string(oldRecord.Length()),
             std::to_string(newRecord.Length()));
    AddSha1(oldSide, oldRecord, newSide, newRecord, pChange);
  }
}

DiffChange Named(DiffChange::Type type, const Entry& entry) {
  DiffChange change;
  change.type = type;
  change.kind = entry.record.Kind();
  change.tag = entry.record.Tag();
  change.hasName = change.tag == mocf::kUserFileTag;
  change.name = std::get<1>(entry.key);
  return change;
}

// The positions in order (of the new side) that stay: one longest
// increasing run of them; the others moved.
std::vector<bool> Stays(const std::vector<int>& order) {
  std::vector<int> tails, tailAt, before(order.size(), -1);
  for (size_t i = 0; i < order.size(); ++i) {
    const size_t length = static_cast<size_t>(
        std::lower_bound(tails.begin(), tails.end(), order[i]) - tails.begin());
    if (length == tails.size()) {
      tails.push_back(order[i]);
      tailAt.push_back(static_cast<int>(i));
    } else {
      tails[length] = order[i];
      tailAt[length] = static_cast<int>(i);
    }
    if (length > 0) before[i] = tailAt[length - 1];
  }
  std::vector<bool> stays(order.size(), false);
  for (int i = tailAt.empty() ? -1 : tailAt.back(); i >= 0; i = before[static_cast<size_t>(i)])
    stays[static_cast<size_t>(i)] = true;
  return stays;
}

std::optional<bool> DigestOk(const Inspection& inspection) {
  RecordWalk walk = inspection.Records();
  RecordInfo record;
  while (walk.Next(&record)) {
    if (record.Tag() == mocf::kHashTag && record.read) return DigestMatches(inspection, record);
  }
  return std::nullopt;
}

DiffSide Side(const Inspection& inspection) {
  return {inspection.file, inspection.size, inspection.valid, inspection.reason,
          DigestOk(inspection)};
}

}  // namespace

bool IsContainer(const Inspection& inspection, std::string* pWhyNot) {
  if (CMocfParser::IsNotMocf(inspection.image, inspection.size, pWhyNot)) return false;
  if (inspection.size >= CTlv::kHeaderSize) return true;
  *pWhyNot = "not a MOCF: the file is " + std::to_string(inspection.size) +
             " bytes, too short for a MOCF header";
  return false;
}

MocfDiff Compare(const Inspection& oldSide, const Inspection& newSide) {
  MocfDiff diff{Side(oldSide), Side(newSide), {}};
  const std::vector<Entry> olds = Entries(oldSide), news = Entries(newSide);
  std::map<Key, size_t> oldAt;
  for (size_t i = 0; i < olds.size(); ++i) oldAt[olds[i].key] = i;
  std::vector<bool> oldMatched(olds.size(), false);
  std::vector<std::pair<size_t, size_t>> pairs;  // in new order
  std::vector<int> order;
  for (size_t j = 0; j < news.size(); ++j) {
    const auto found = oldAt.find(news[j].key);
    if (found == oldAt.end()) continue;
    oldMatched[found->second] = true;
    pairs.emplace_back(found->second, j);
    order.push_back(static_cast<int>(found->second));
  }
  const std::vector<bool> stays = Stays(order);
  // A removed record is said where it stood: before the record that
  // followed it, as that one stands in NEW.
  std::vector<std::vector<size_t>> removedBefore(news.size() + 1);
  std::vector<size_t> anchor(olds.size(), news.size());
  for (const auto& [i, j] : pairs) anchor[i] = j;
  for (size_t i = olds.size() - (olds.empty() ? 0 : 1); i-- > 0;) {
    if (!oldMatched[i]) anchor[i] = anchor[i + 1];
  }
  for (size_t i = 0; i < olds.size(); ++i) {
    if (!oldMatched[i]) removedBefore[anchor[i]].push_back(i);
  }
  size_t p = 0;
  for (size_t j = 0; j <= news.size(); ++j) {
    for (size_t i : removedBefore[j]) {
      DiffChange change = Named(DiffChange::kRemoved, olds[i]);
      change.oldIndex = olds[i].record.index;
      change.description = Content(oldSide, olds[i].record);
      diff.changes.push_back(std::move(change));
    }
    if (j == news.size()) break;
    if (p < pairs.size() && pairs[p].second == j) {
      const Entry& old = olds[pairs[p].first];
      DiffChange change = Named(DiffChange::kChanged, news[j]);
      change.oldIndex = old.record.index;
      change.newIndex = news[j].record.index;
      change.moved = !stays[p++];
      if (!SameValue(oldSide, old.record, newSide, news[j].record))
        Differences(oldSide, old.record, newSide, news[j].record, &change);
      else if (change.moved)
        change.type = DiffChange::kMoved;
      else
        continue;
      diff.changes.push_back(std::move(change));
      continue;
    }
    DiffChange change = Named(DiffChange::kAdded, news[j]);
    change.newIndex = news[j].record.index;
    change.description = Content(newSide, news[j].record);
    diff.changes.push_back(std::move(change));
  }
  return diff;
}

int CompareFiles(const std::string& oldFile, const std::string& newFile, bool endOnLostPages,
                 MocfDiff* pDiff, std::string* pWhyNot, bool* pUnreadable) {
  CMocfImage images[2];
  const std::string files[2] = {oldFile, newFile};
  // One word for either file: whichever is mapped last names the lost pages.
  const std::string whyEnded = endOnLostPages ? "mocfinfo: " + oldFile + " or " + newFile +
                                                    " was cut short while it was read\n"
                                              : "";
  if (pUnreadable) *pUnreadable = true;
  for (int i = 0; i < 2; ++i) {
    // Two readers of each file at once (the verdict and the comparison),
    // and two files: each file a quarter of the window, about.
    if (!images[i].Load(files[i], pWhyNot, whyEnded, CReadPace::kWindow / 4)) {
      *pWhyNot = "cannot read " + files[i] + ": " + *pWhyNot;
      return kCouldNot;
    }
  }
  if (pUnreadable) *pUnreadable = false;
  const DiffInput sides[2] = {{files[0], images[0].Data(), images[0].Size(), images[0].Pace()},
                              {files[1], images[1].Data(), images[1].Size(), images[1].Pace()}};
  return CompareImages(sides, pDiff, pWhyNot);
}

int CompareImages(const DiffInput sides[2], MocfDiff* pDiff, std::string* pWhyNot) {
  // The records are compared on a walk that trusts the stored digests,
  // while each side's verdict hashes its file beside it.
  Inspection walked[2], judged[2];
  for (int i = 0; i < 2; ++i) {
    walked[i] = InspectTrustingDigest(sides[i].file, sides[i].data, sides[i].size, sides[i].pace);
    if (IsContainer(walked[i], pWhyNot)) continue;
    *pWhyNot = sides[i].file + " is " + *pWhyNot;
    return kCouldNot;
  }
  {
    const auto judge = [&](int i) {
      return [&, i] {
        const DiffInput& side = sides[i];
        judged[i] = Inspect(side.file, side.data, side.size, side.pace);
      };
    };
    CJoinedThread oldVerdict(judge(0), sides[0].size < kSmallImage);
    CJoinedThread newVerdict(judge(1), sides[1].size < kSmallImage);
    *pDiff = Compare(walked[0], walked[1]);
  }
  pDiff->oldSide = Side(judged[0]);
  pDiff->newSide = Side(judged[1]);
  return pDiff->Same() ? kValid : kInvalid;
}

}  // namespace mocfinfo
