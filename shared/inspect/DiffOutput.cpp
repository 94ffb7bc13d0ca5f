// The two views of a comparison: lines for a reviewer, JSON for CI.
#include <string_view>

#include "format/Describe.h"
#include "inspect/Diff.h"
#include "inspect/Json.h"
#include "inspect/Listing.h"
#include "format/MocfTags.h"

namespace mocfinfo {

namespace {

// Long texts (a settings text compared whole, a long value) are cut, with
// a note of how much was left out, so that the output stays readable.
constexpr size_t kMaxShown = 80;

std::string Shown(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  if (text.size() <= kMaxShown) return describe::Escaped(p, text.size());
  return describe::Escaped(p, kMaxShown) + "... (" + std::to_string(text.size() - kMaxShown) +
         " more bytes)";
}

std::string Verdict(const DiffSide& side) {
  std::string text = side.file + " (" + std::to_string(side.size) + " bytes, " +
                     (side.valid ? "valid" : "invalid: " + side.reason);
  if (side.digestOk) text += *side.digestOk ? ", digest matches" : ", digest does not match";
  return text + ")";
}

std::string Counts(const MocfDiff& diff) {
  int counts[4] = {};
  for (const DiffChange& change : diff.changes) ++counts[change.type];
  return "+" + std::to_string(counts[DiffChange::kAdded]) + " -" +
         std::to_string(counts[DiffChange::kRemoved]) + " ~" +
         std::to_string(counts[DiffChange::kChanged]) + " >" +
         std::to_string(counts[DiffChange::kMoved]);
}

std::string Heading(const DiffChange& change) {
  static const char kSigns[] = "+-~>";
  std::string text = std::string(1, kSigns[change.type]) + " " + change.kind;
  if (change.hasName) text += " \"" + Shown(change.name) + "\"";
  // Records of other tags are matched by tag: say which.
  if (change.tag > mocf::kCompatProdTag &&
      (change.tag < mocf::kFirmwareTag || change.tag > mocf::kMenuSettingsTag))
    text += " " + describe::Hex(change.tag);
  text += " (";
  if (change.oldIndex) text += "old #" + std::to_string(change.oldIndex);
  if (change.oldIndex && change.newIndex) text += ", ";
  if (change.newIndex) text += "new #" + std::to_string(change.newIndex);
  text += ")";
  if (change.type == DiffChange::kChanged && change.moved) text += ", moved";
  if (!change.description.empty()) text += ": " + change.description;
  return text;
}

void PrintDetails(const DiffChange& change, std::ostream& out) {
  for (const DiffField& field : change.fields)
    out << "    " << field.field << ": " << Shown(field.oldValue) << " -> "
        << Shown(field.newValue) << '\n';
  const char* what = change.numbers ? "product " : "";
  for (const std::string& item : change.added) out << "    + " << what << Shown(item) << '\n';
  for (const std::string& item : change.removed) out << "    - " << what << Shown(item) << '\n';
  for (const DiffItem& item : change.changed)
    out << "    ~ " << Shown(item.key) << " " << Shown(item.oldValue) << " -> "
        << Shown(item.newValue) << '\n';
}

void SideJson(const DiffSide& side, std::ostream& out) {
  out << "{\"file\": " << JsonString(side.file) << ", \"size\": " << side.size
      << ", \"valid\": " << (side.valid ? "true" : "false")
      << ", \"reason\": " << (side.valid ? "null" : JsonString(side.reason))
      << ", \"digest_ok\": " << (!side.digestOk ? "null" : *side.digestOk ? "true" : "false")
      << '}';
}

std::string Index(int index) { return index ? std::to_string(index) : "null"; }

void ListJson(const std::vector<std::string>& items, bool numbers, std::ostream& out) {
  out << '[';
  for (size_t i = 0; i < items.size(); ++i)
    out << (i ? ", " : "") << (numbers ? items[i] : JsonString(items[i]));
  out << ']';
}

void ItemsJson(const DiffChange& change, std::ostream& out) {
  if (change.added.empty() && change.removed.empty() && change.changed.empty()) return;
  out << ", \"items\": {\"added\": ";
  ListJson(change.added, change.numbers, out);
  out << ", \"removed\": ";
  ListJson(change.removed, change.numbers, out);
  out << ", \"changed\": [";
  for (size_t i = 0; i < change.changed.size(); ++i) {
    const DiffItem& item = change.changed[i];
    out << (i ? ", " : "") << "{\"key\": " << JsonString(item.key)
        << ", \"old\": " << JsonString(item.oldValue) << ", \"new\": " << JsonString(item.newValue)
        << '}';
  }
  out << "]}";
}

void ChangeJson(const DiffChange& change, std::ostream& out) {
  static const char* const kTypes[] = {"added", "removed", "changed", "moved"};
  out << "{\"change\": \"" << kTypes[change.type] << "\", \"kind\": " << JsonString(change.kind)
      << ", \"tag\": " << change.tag << ", \"tag_hex\": \"0x" << TagHex(change.tag) << '"';
  if (change.hasName) out << ", \"name\": " << JsonString(change.name);
  out << ", \"old_index\": " << Index(change.oldIndex)
      << ", \"new_index\": " << Index(change.newIndex)
      << ", \"moved\": " << (change.moved ? "true" : "false");
  if (!change.fields.empty()) {
    out << ", \"fields\": [";
    for (size_t i = 0; i < change.fields.size(); ++i) {
      const DiffField& field = change.fields[i];
      out << (i ? ", " : "") << "{\"field\": " << JsonString(field.field)
          << ", \"old\": " << JsonString(field.oldValue)
          << ", \"new\": " << JsonString(field.newValue) << '}';
    }
    out << ']';
  }
  ItemsJson(change, out);
  out << '}';
}

}  // namespace

void PrintDiff(const MocfDiff& diff, std::ostream& out) {
  out << Verdict(diff.oldSide) << " -> " << Verdict(diff.newSide) << ": "
      << (diff.Same() ? "the same records" : Counts(diff)) << '\n';
  for (const DiffChange& change : diff.changes) {
    out << Heading(change) << '\n';
    PrintDetails(change, out);
  }
}

void PrintDiffJson(const MocfDiff& diff, std::ostream& out) {
  out << "{\"diff_version\": 1,\n \"old\": ";
  SideJson(diff.oldSide, out);
  out << ",\n \"new\": ";
  SideJson(diff.newSide, out);
  out << ",\n \"same\": " << (diff.Same() ? "true" : "false") << ",\n \"changes\": [";
  for (size_t i = 0; i < diff.changes.size(); ++i) {
    out << (i ? ",\n  " : "\n  ");
    ChangeJson(diff.changes[i], out);
  }
  out << (diff.changes.empty() ? "]}\n" : "\n ]}\n");
}

}  // namespace mocfinfo
