// The parsed command line and the walk over the arguments that fills it.
// Short options (-m, -f, -t, -d) are the documented ones; the long options
// (--type, --tag, --PartNum) reach the input-file types the usage text keeps
// quiet about.
#pragma once

#include <cstdint>
#include <string>

#include "inputs/FileType.h"

// A short option's id is its letter in lower case; options that exist only
// in long form start above every character code.
enum Option_t : int32_t {
  OptDelete = 'd',
  OptInFile = 'f',
  OptMocfFile = 'm',
  OptType = 't',
  OptTag = 0x100,
  OptPartNum = 0x101,
};

// One row of a word-to-id table. Tables end with a row whose Str is empty
// and whose Id is -1.
struct StrId_t {
  const char* Str;
  int32_t Id;
};

struct options_t {
  std::string MocfFile;
  std::string InFile;
  std::string PartNum;
  FileType_t Type = NoFileType;
  uint32_t Tag = 0;  // meaningful only when TagSpecified
  bool TagSpecified = false;
  bool DeleteContents = false;
  // When --tag's text was read only in part: the value taken and where
  // reading stopped, for standard error. The run goes on with the value.
  std::string TagNote{};
  // Where the input is opened when InFile was typed for another folder than
  // the current one: empty for InFile itself. The engine's, never read
  // from a command line.
  std::string InPath{};
};

// The path the input file is opened at.
inline const std::string& InputPath(const options_t& options) {
  return options.InPath.empty() ? options.InFile : options.InPath;
}

bool IsPathDelimeter(char c);
// The text after the last '\\', '/' or ':' of path (a pointer into path);
// empty when path ends with a delimiter.
const char* GetAppName(const char* path);
// Whole-string comparison with ASCII letters folded to lower case.
bool StrInCmp(const char* a, const char* b);
// The Id of the row matching text, or -1.
int StrToNum(const char* text, const StrId_t* table);

// Option handlers. value is the argument after the option, or null when the
// option was the last argument; a value-taking option refuses a null value.
// On success *consumed tells whether value was used.
bool ParseExposedOption(Option_t id, const char* value, options_t* options,
                        bool* consumed);
bool ParseHiddenOption(Option_t id, const char* value, options_t* options,
                       bool* consumed);

// The option that takes this type word: "-t" for the words the usage text
// shows, "--type" for any other.
const char* TypeOption(const char* word);
// For a type word the option refused: which option takes it, and what this
// one takes.
std::string TypeWordHint(const char* option, const char* word);

// Reads argv[1..argc-1] into *options and returns the verdict of
// ValidateArgs. False means the caller prints the usage text.
bool ParseCommandLine(int argc, const char** argv, options_t* options);

// What reading the arguments saw, for a caller that runs the tool's
// arguments on another's behalf and must say which one it refuses.
struct ArgsRead_t {
  bool MocfFileGiven = false;  // -m appeared as an option
  bool DeleteGiven = false;    // -d appeared as an option
  int RefusedAt = 0;           // the index of the refused argument, or 0
};

// ParseCommandLine's walk over the arguments alone, without ValidateArgs.
bool ReadArguments(int argc, const char** argv, options_t* options, ArgsRead_t* pRead = nullptr);
