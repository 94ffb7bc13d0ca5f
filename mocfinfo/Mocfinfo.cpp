#include "Mocfinfo.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <sstream>
#include <system_error>

#include "inspect/Diff.h"
#include "inspect/Extract.h"
#include "inputs/FileHelper.h"
#include "image/ImageWriter.h"
#include "inspect/Inspect.h"
#include "platform/JoinedThread.h"
#include "inspect/Json.h"
#include "inspect/Listing.h"
#include "inspect/MocfImage.h"
#include "platform/Platform.h"
#include "platform/ReadPace.h"
#include "platform/ReplaceFile.h"
#include "platform/SignatureBeside.h"
#include "inspect/Unpack.h"
#include "platform/Utf8Path.h"

#ifndef MOCFINFO_VERSION
#error "the build defines MOCFINFO_VERSION"
#endif

namespace mocfinfo {

namespace {

const char kUsage[] =
    "usage: mocfinfo [--json] FILE              list the records and the verdict\n"
    "       mocfinfo --json FILE...             the same for several files, as one array\n"
    "       mocfinfo --verify [--json] FILE...  the verdict only, one line per file\n"
    "       mocfinfo --extract N -o OUT FILE    the content of record N\n"
    "       mocfinfo --record N -o OUT FILE     record N whole, as an object file\n"
    "       mocfinfo --unpack DIR FILE          a list and inputs that rebuild FILE\n"
    "       mocfinfo --diff [--json] [-q] OLD NEW  what changed from OLD to NEW\n"
    "       mocfinfo --help | --version\n";

enum class Mode { kList, kVerify, kExtract, kRecord, kUnpack, kDiff, kHelp, kVersion };

struct Options {
  Mode mode = Mode::kList;
  bool modeGiven = false;
  bool json = false;
  bool quiet = false;  // -q: the status alone
  int record = 0;
  std::string output;
  bool outputGiven = false;
  std::string folder;  // --unpack's DIR
  std::vector<std::string> files;
};

// A record number: decimal digits only, from 1, without overflow.
bool ParseRecordNumber(const std::string& text, int* pNumber) {
  if (text.empty() || text.size() > 9) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  *pNumber = std::stoi(text);
  return *pNumber > 0;
}

bool SetMode(Options* pOptions, Mode mode, std::string* pError) {
  if (pOptions->modeGiven) {
    *pError = "give one of --verify, --extract, --record, --unpack, --diff, --help and --version";
    return false;
  }
  pOptions->mode = mode;
  pOptions->modeGiven = true;
  return true;
}

bool TakeValue(const std::vector<std::string>& args, size_t* pI, std::string* pValue,
               std::string* pError) {
  if (*pI + 1 >= args.size()) {
    *pError = args[*pI] + " needs a value";
    return false;
  }
  *pValue = args[++*pI];
  return true;
}

bool ParseOne(const std::vector<std::string>& args, size_t* pI, Options* pOptions,
              std::string* pError) {
  const std::string& arg = args[*pI];
  if (arg == "--json") return pOptions->json = true;
  if (arg == "--verify") return SetMode(pOptions, Mode::kVerify, pError);
  if (arg == "--diff") return SetMode(pOptions, Mode::kDiff, pError);
  if (arg == "-q") return pOptions->quiet = true;
  if (arg == "--help") return SetMode(pOptions, Mode::kHelp, pError);
  if (arg == "--version") return SetMode(pOptions, Mode::kVersion, pError);
  if (arg == "--extract" || arg == "--record") {
    std::string number;
    if (!SetMode(pOptions, arg == "--extract" ? Mode::kExtract : Mode::kRecord, pError) ||
        !TakeValue(args, pI, &number, pError))
      return false;
    if (ParseRecordNumber(number, &pOptions->record)) return true;
    *pError = "not a record number: " + number;
    return false;
  }
  if (arg == "--unpack")
    return SetMode(pOptions, Mode::kUnpack, pError) &&
           TakeValue(args, pI, &pOptions->folder, pError);
  if (arg == "-o") {
    pOptions->outputGiven = true;
    return TakeValue(args, pI, &pOptions->output, pError);
  }
  if (arg.size() > 1 && arg[0] == '-') {
    *pError = "unknown option " + arg;
    return false;
  }
  pOptions->files.push_back(arg);
  return true;
}

bool CheckCombination(const Options& options, std::string* pError) {
  const bool extracting = options.mode == Mode::kExtract || options.mode == Mode::kRecord;
  const size_t files = options.files.size();
  if (extracting != options.outputGiven)
    *pError =
        extracting ? "--extract and --record need -o OUT" : "-o goes with --extract or --record";
  else if (options.mode == Mode::kHelp || options.mode == Mode::kVersion)
    *pError = files ? "--help and --version take no file" : "";
  else if (options.quiet && options.mode != Mode::kDiff)
    *pError = "-q goes with --diff";
  else if (options.mode == Mode::kDiff)
    *pError = files == 2 ? "" : "--diff compares two files: OLD NEW";
  else if (files == 0)
    *pError = "no file given";
  else if (options.json && options.mode != Mode::kList && options.mode != Mode::kVerify)
    *pError = "--json goes with a listing, --verify or --diff";
  else if (options.mode != Mode::kVerify && !options.json && files > 1)
    *pError = "one file at a time; --verify and --json take several";
  return pError->empty();
}

bool ParseArgs(const std::vector<std::string>& args, Options* pOptions, std::string* pError) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (!ParseOne(args, &i, pOptions, pError)) return false;
  }
  return CheckCombination(*pOptions, pError);
}

// Loads a MOCF, or says on err why it cannot, in the words left in *pWhyNot.
bool Load(const std::string& path, CMocfImage* pImage, std::ostream& err,
          std::string* pWhyNot = nullptr) {
  std::string whyNot;
  if (pImage->Load(path, &whyNot,
                   "mocfinfo: " + path + ": the file was cut short while it was read\n"))
    return true;
  err << "mocfinfo: cannot read " << path << ": " << whyNot << '\n';
  if (pWhyNot) *pWhyNot = whyNot;
  return false;
}

// Several files in JSON make one array of what each gives. A listing leaves
// a file that cannot be read out of it, said so on err as in text; verdicts
// give it an entry, so a script need not match the array to its arguments.
class CJsonArray {
 public:
  CJsonArray(bool on, std::ostream& out) : m_On(on), m_Out(out) {}
  void Add(const std::string& object) {
    m_Out << (m_Count++ ? ",\n" : "[") << object;
  }
  ~CJsonArray() {
    if (m_On) m_Out << (m_Count ? "]\n" : "[]\n");
  }

 private:
  bool m_On;
  std::ostream& m_Out;
  int m_Count = 0;
};

int Worse(int status, int other) {
  return status == kCouldNot || other == kCouldNot ? kCouldNot
         : status == kInvalid || other == kInvalid ? kInvalid
                                                   : kValid;
}

// "readable" comes last: it was added after scripts had the other three.
std::string VerdictJson(const std::string& file, bool readable, bool valid,
                        const std::string& reason) {
  return "{\"file\": " + JsonString(file) + ", \"valid\": " + (valid ? "true" : "false") +
         ", \"reason\": " + (valid ? "null" : JsonString(reason)) +
         ", \"readable\": " + (readable ? "true" : "false") + "}";
}

int Verify(const std::vector<std::string>& files, bool json, std::ostream& out,
           std::ostream& err) {
  int status = kValid;
  CJsonArray array(json, out);
  for (const std::string& file : files) {
    CMocfImage image;
    std::string whyNot;
    if (!Load(file, &image, err, &whyNot)) {
      if (json) array.Add(VerdictJson(file, false, false, whyNot));
      status = kCouldNot;
      continue;
    }
    const Inspection inspection = image.Inspect(file);
    if (json)
      array.Add(VerdictJson(file, true, inspection.valid, inspection.reason));
    else
      out << Verdict(inspection) << '\n';
    status = Worse(status, inspection.valid ? kValid : kInvalid);
  }
  return status;
}

int List(const std::string& file, bool json, std::ostream& out, std::ostream& err) {
  CMocfImage image;
  if (!Load(file, &image, err)) return kCouldNot;
  Inspection inspection = image.Inspect(file);
  inspection.signature = platform::SignatureBeside(file);
  if (json)
    PrintJson(inspection, out);
  else
    PrintListing(inspection, out);
  return inspection.valid ? kValid : kInvalid;
}

int ListJson(const std::vector<std::string>& files, std::ostream& out, std::ostream& err) {
  if (files.size() == 1) return List(files[0], true, out, err);
  int status = kValid;
  CJsonArray array(true, out);
  for (const std::string& file : files) {
    std::ostringstream object;
    status = Worse(status, List(file, true, object, err));
    std::string text = object.str();
    if (text.empty()) continue;
    text.pop_back();  // the line end after one object
    array.Add(text);
  }
  return status;
}

bool Write(const std::string& path, std::string_view bytes, CReadPace* pPace, std::ostream& out) {
  if (path != "-")
    return ReplaceFile(path, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                       pPace);
  for (size_t at = 0; at < bytes.size() && out; at += CReadPace::kWindow) {
    const size_t chunk = std::min<size_t>(CReadPace::kWindow, bytes.size() - at);
    out.write(bytes.data() + at, static_cast<std::streamsize>(chunk));
    CReadPace::Moved(pPace, chunk);
  }
  return static_cast<bool>(out.flush());
}

int Extract(const Options& options, std::ostream& out, std::ostream& err) {
  const std::string& file = options.files[0];
  CMocfImage image;
  if (!Load(file, &image, err)) return kCouldNot;
  const Inspection inspection = image.Inspect(file);
  RecordInfo record{};
  if (!inspection.Find(options.record, &record)) {
    err << "mocfinfo: " << file << ": there is no record " << options.record << " (the walk finds "
        << inspection.recordCount << ")\n";
    return kCouldNot;
  }
  const Extraction what =
      options.mode == Mode::kExtract ? Extraction::kContent : Extraction::kRecord;
  std::string_view bytes;
  std::string whyNot;
  if (!ExtractedBytes(inspection, record, what, &bytes, &whyNot)) {
    err << "mocfinfo: " << file << ": " << whyNot << '\n';
    return kCouldNot;
  }
  if (!Write(options.output, bytes, inspection.pace, out)) {
    err << "mocfinfo: cannot write " << options.output << ": "
        << CFileHelper::WhyCannotWrite(options.output.c_str()) << '\n';
    return kCouldNot;
  }
  if (inspection.valid) return kValid;
  err << "mocfinfo: " << Verdict(inspection) << '\n';
  return kInvalid;
}

int UnpackFile(const Options& options, std::ostream& err) {
  const std::string& file = options.files[0];
  CMocfImage image;
  if (!Load(file, &image, err)) return kCouldNot;
  // The inputs do not depend on the digest: the image is hashed meanwhile.
  Inspection judged;
  CJoinedThread judging([&] { judged = image.Inspect(file); }, image.Size() < kSmallImage);
  return Unpack(image.InspectTrustingDigest(file), [&]() -> const Inspection& {
    judging.Join();
    return judged;
  }, options.folder, err);
}

int DiffFiles(const Options& options, std::ostream& out, std::ostream& err) {
  MocfDiff diff;
  std::string whyNot;
  const int status = CompareFiles(options.files[0], options.files[1], true, &diff, &whyNot);
  if (status == kCouldNot) {
    err << "mocfinfo: " << whyNot << '\n';
    return kCouldNot;
  }
  if (options.quiet) return status;
  if (options.json)
    PrintDiffJson(diff, out);
  else
    PrintDiff(diff, out);
  return status;
}

}  // namespace

int RunMocfinfo(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  Options options;
  std::string error;
  if (!ParseArgs(args, &options, &error)) {
    err << "mocfinfo: " << error << '\n' << kUsage;
    return kCouldNot;
  }
  switch (options.mode) {
    case Mode::kHelp:
      out << kUsage;
      return kValid;
    case Mode::kVersion:
      out << "mocfinfo " MOCFINFO_VERSION "\n";
      return kValid;
    case Mode::kVerify:
      return Verify(options.files, options.json, out, err);
    case Mode::kList:
      return options.json ? ListJson(options.files, out, err)
                          : List(options.files[0], false, out, err);
    case Mode::kExtract:
    case Mode::kRecord:
      return Extract(options, out, err);
    case Mode::kUnpack:
      return UnpackFile(options, err);
    case Mode::kDiff:
      return DiffFiles(options, out, err);
  }
  return kCouldNot;
}

}  // namespace mocfinfo
