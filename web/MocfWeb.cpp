// The engine as the browser page calls it: bytes in the module's memory in,
// the texts mocfinfo prints out. The page owns the bytes; every string
// returned here is the page's to free, and so are an edit's new bytes.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "edit/Edit.h"
#include "inspect/Diff.h"
#include "inspect/Extract.h"
#include "inspect/Inspect.h"
#include "inspect/Json.h"
#include "inspect/Listing.h"

namespace {

char* Copy(const std::string& text) {
  char* out = static_cast<char*>(std::malloc(text.size() + 1));
  if (out) std::memcpy(out, text.c_str(), text.size() + 1);
  return out;
}

// Any failure inside the engine becomes an answer the page can show.
template <class Work>
char* Answer(Work work) {
  try {
    return Copy(work());
  } catch (const std::bad_alloc&) {
    return Copy("{\"error\": \"out of memory\"}");
  } catch (...) {
    return Copy("{\"error\": \"Unexpected error\"}");
  }
}

// One edit of the MOCF in data, made as mocfedit makes it: checked, then
// {"pointer": where its new bytes lie, "size": how many}, or {"error":
// why it is refused, as mocfedit says it}.
template <class Change>
char* Edited(const unsigned char* data, size_t size, const char* name, Change change) {
  return Answer([&] {
    mocfedit::CEdit edit;
    mocfbuild::Failure_t failure;
    std::vector<unsigned char> image;
    if (!edit.OpenMemory(data, size, name, &failure) || !change(edit, &failure) ||
        !edit.Check(&failure) || !edit.Render(&image, &failure))
      return "{\"error\": " + mocfinfo::JsonString(failure.Text()) + "}";
    unsigned char* out = static_cast<unsigned char*>(std::malloc(image.size()));
    if (!out) throw std::bad_alloc();
    std::memcpy(out, image.data(), image.size());
    return "{\"pointer\": " + std::to_string(reinterpret_cast<uintptr_t>(out)) +
           ", \"size\": " + std::to_string(image.size()) + "}";
  });
}

}  // namespace

extern "C" {

// {"listing": what mocfinfo --json prints, "descriptions": the listing's
// text of each record, "verdict": mocfinfo --verify's line}.
char* mocfweb_inspect(const unsigned char* data, size_t size, const char* name) {
  return Answer([&] {
    const mocfinfo::Inspection inspection = mocfinfo::Inspect(name, data, size);
    std::ostringstream out;
    out << "{\"listing\": ";
    mocfinfo::PrintJson(inspection, out);
    out << ", \"verdict\": " << mocfinfo::JsonString(mocfinfo::Verdict(inspection))
        << ", \"descriptions\": [";
    mocfinfo::RecordWalk walk = inspection.Records();
    mocfinfo::RecordInfo record{};
    for (const char* comma = ""; walk.Next(&record); comma = ", ")
      out << comma << mocfinfo::JsonString(mocfinfo::Content(inspection, record));
    out << "]}";
    return out.str();
  });
}

// {"diff": what mocfinfo --diff --json prints, "text": what mocfinfo --diff
// prints}, or {"error": why they cannot be compared}.
char* mocfweb_diff(const unsigned char* oldData, size_t oldSize, const char* oldName,
                   const unsigned char* newData, size_t newSize, const char* newName) {
  return Answer([&] {
    const mocfinfo::DiffInput sides[2] = {{oldName, oldData, oldSize, nullptr},
                                          {newName, newData, newSize, nullptr}};
    mocfinfo::MocfDiff diff;
    std::string whyNot;
    std::ostringstream out;
    if (mocfinfo::CompareImages(sides, &diff, &whyNot) == mocfinfo::kCouldNot)
      return "{\"error\": " + mocfinfo::JsonString(whyNot) + "}";
    std::ostringstream text;
    mocfinfo::PrintDiff(diff, text);
    out << "{\"diff\": ";
    mocfinfo::PrintDiffJson(diff, out);
    out << ", \"text\": " << mocfinfo::JsonString(text.str()) << "}";
    return out.str();
  });
}

// Where record number's bytes lie within data: as mocfinfo --record writes
// them, or as --extract does when content; *size 0 and null when there are
// none such.
const unsigned char* mocfweb_record(const unsigned char* data, size_t size, int number,
                                    bool content, size_t* pSize) {
  *pSize = 0;
  try {
    const mocfinfo::Inspection inspection =
        mocfinfo::InspectTrustingDigest("", data, size, nullptr);
    mocfinfo::RecordInfo record{};
    std::string_view bytes;
    std::string whyNot;
    if (!inspection.Find(number, &record) ||
        !mocfinfo::ExtractedBytes(
            inspection, record,
            content ? mocfinfo::Extraction::kContent : mocfinfo::Extraction::kRecord, &bytes,
            &whyNot))
      return nullptr;
    *pSize = bytes.size();
    return reinterpret_cast<const unsigned char*>(bytes.data());
  } catch (...) {
    return nullptr;
  }
}

// mocfedit --remove selector.
char* mocfweb_remove(const unsigned char* data, size_t size, const char* name,
                     const char* selector) {
  return Edited(data, size, name, [&](mocfedit::CEdit& edit, mocfbuild::Failure_t* pFailure) {
    return edit.Remove(selector, pFailure);
  });
}

// mocfedit --add "-f fileName -t user": the file's bytes added last, under its name.
char* mocfweb_add_user(const unsigned char* data, size_t size, const char* name,
                       const char* fileName, const unsigned char* fileData, size_t fileSize) {
  return Edited(data, size, name, [&](mocfedit::CEdit& edit, mocfbuild::Failure_t* pFailure) {
    mocfedit::EditInput_t input;
    input.Type = UserFile;
    input.Name = fileName;
    input.Bytes.assign(reinterpret_cast<const char*>(fileData), fileSize);
    return edit.Add(input, {}, pFailure);
  });
}

// mocfedit --set selector key=value.
char* mocfweb_set(const unsigned char* data, size_t size, const char* name, const char* selector,
                  const char* key, const char* value) {
  return Edited(data, size, name, [&](mocfedit::CEdit& edit, mocfbuild::Failure_t* pFailure) {
    return edit.Set(selector, key, value, pFailure);
  });
}

}  // extern "C"
