#include "args/Usage.h"

#include <cstdio>
#include <optional>

#include "inputs/FileHelper.h"
#include "run/Messages.h"

namespace {

// The firmware stores the part number in a fixed field of this many
// characters.
const size_t kMaxPartNumLength = 20;

bool Refuse(const char* line) {
  messages::Line(line);
  return false;
}

bool IsNamedType(FileType_t type) {
  return type >= UserFile && type <= MenuSettings;
}

// Without an answer, the MOCF is looked for only when the rule needs it.
bool CheckArgs(const options_t* options, std::optional<bool> mocfExists, bool bytes = false) {
  const bool swKeys = options->Type == SwKeys;
  if (options->InFile.empty() && !swKeys) {
    return Refuse("No input file specified!");
  }
  if (!swKeys && !bytes && !CFileHelper::DoesFileExist(InputPath(*options).c_str())) {
    messages::Printf("Can't find the input file (%s)!\n", options->InFile.c_str());
    return false;
  }
  if (options->MocfFile.empty()) {
    return Refuse("No MOCF output file specified!");
  }
  if (options->Type == Binary && !options->TagSpecified) {
    return Refuse("No Tag specified!");
  }
  if (swKeys && options->PartNum.empty()) {
    return Refuse(
        "System Update Files must have a part number specified with the "
        "Software Keys!");
  }
  if (swKeys && options->PartNum.size() > kMaxPartNumLength) {
    messages::Printf("Part number is limited in Firmware to %d characters!\n",
                static_cast<int>(kMaxPartNumLength));
    return false;
  }
  // The same test AppendToMocf uses to start the MOCF empty: a
  // compatible-products record may only begin a new MOCF.
  if (options->Type == CompatProd && !options->DeleteContents &&
      mocfExists.value_or(CFileHelper::DoesMocfExist(options->MocfFile.c_str()))) {
    return Refuse(
        "Compatible Products input file can only be specified along with the "
        "-d option (or input MOCF can't exist).");
  }
  // The usage line marks -t as required, and no record builder exists for
  // an unset type.
  if (!IsNamedType(options->Type)) return Refuse("No file type specified!");
  return true;
}

}  // namespace

bool ValidateArgs(const options_t* options) { return CheckArgs(options, std::nullopt); }

bool ValidateArgs(const options_t* options, bool mocfExists) {
  return CheckArgs(options, mocfExists);
}

bool ValidateArgsForBytes(const options_t* options, bool mocfExists) {
  return CheckArgs(options, mocfExists, true);
}

void PrintUsage(const char* argv0) {
  const char* name = GetAppName(argv0);
  std::printf("%s:  $ProjectRevision: Last Checkpoint: 1.6 $\n", name);
  std::printf("\n");
  std::printf("Usage:  %s -m MocfFile -f InFile -t type [-d]\n", name);
  std::fputs(
      "\t-m: MOCF filename\n"
      "\t-f: Filename that has Record/object data to add\n"
      "\t-t: File type:  user|CompatProd|object|CustomDefaults\n"
      "\t    Note:  CompatProd cannot be used when appending to an existing "
      "MOCF\n"
      "\t-d: Delete the contents of the MOCF before appending the Input File\n",
      stdout);
}
