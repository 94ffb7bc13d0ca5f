#include "Mocfedit.h"

#include <filesystem>
#include <memory>
#include <sstream>
#include <system_error>

#include "assemble/RunList.h"
#include "edit/Edit.h"
#include "edit/Selector.h"
#include "inspect/Diff.h"
#include "inspect/MocfImage.h"
#include "platform/Platform.h"
#include "platform/ReplaceFile.h"
#include "platform/SignatureBeside.h"
#include "platform/Utf8Path.h"

#ifndef MOCFEDIT_VERSION
#error "the build defines MOCFEDIT_VERSION"
#endif

namespace mocfedit {

namespace {

namespace fs = std::filesystem;

const char kUsage[] =
    "usage: mocfedit -m MOCF [-o OUT] [--dry-run [--json]] EDIT...\n"
    "  EDIT: --remove SEL | --replace SEL RUN | --add RUN | --set SEL KEY=VALUE | --unset SEL KEY\n"
    "        --at N and --name NAME may follow --add and --replace\n"
    "  SEL:  a record number, CompatProd, MenuSettings, SwKeys, CustomDefaults,\n"
    "        user:NAME[#K] or tag:0xTTTTTTTT[#K]\n"
    "  RUN:  one list line, as mocfbuild reads it: \"-f notes.txt -t user\"\n"
    "       mocfedit --help | --version\n";

struct EditArgs_t {
  std::string Option;  // --remove, --replace, ...
  std::string Selector;
  std::vector<std::string> Run;
  std::string Key, Value;
  Placing_t Placing;
  std::string Typed;  // as typed, for messages
};

struct Options_t {
  bool Help = false, Version = false, DryRun = false, Json = false;
  std::string Mocf, Out;
  std::vector<EditArgs_t> Edits;
};

// An --at that names a place: a count from 3 on.
bool ReadAt(const std::string& text, int* pAt, std::string* pError) {
  if (!ReadCount(text, pAt) || *pAt < 3)
    return (*pError = "--at " + text + ": N is a record number from 3 on (1 and 2 are the "
                                        "version and hash records)", false);
  return true;
}

bool ReadRun(const std::string& text, std::vector<std::string>* pWords, std::string* pError) {
  std::string why;
  if (!SplitWords(text, pWords, &why)) return (*pError = "RUN " + QuotedWord(text) + ": " + why, false);
  if (pWords->empty()) return (*pError = "RUN is empty: give a list line, as \"-f notes.txt -t user\"", false);
  return true;
}

// The words an edit takes after its option, and what may follow it.
bool ReadEdit(const std::vector<std::string>& args, size_t* pAt, EditArgs_t* pEdit,
              std::string* pError) {
  const std::string& option = args[*pAt];
  const size_t needs = option == "--replace" || option == "--set" || option == "--unset" ? 2 : 1;
  if (*pAt + needs >= args.size())
    return (*pError = option + " needs " + (needs == 2 ? "two values" : "a value"), false);
  pEdit->Option = option;
  const std::string first = args[++*pAt];
  const std::string second = needs == 2 ? args[++*pAt] : "";
  pEdit->Typed = option + " " + QuotedWord(first) + (needs == 2 ? " " + QuotedWord(second) : "");
  if (option == "--add") return ReadRun(first, &pEdit->Run, pError);
  pEdit->Selector = first;
  if (option == "--replace") return ReadRun(second, &pEdit->Run, pError);
  if (option == "--unset") pEdit->Key = second;
  if (option != "--set") return true;
  const size_t equals = second.find('=');
  if (equals == std::string::npos) return (*pError = "--set " + first + " " + second + ": give KEY=VALUE", false);
  pEdit->Key = second.substr(0, equals);
  pEdit->Value = second.substr(equals + 1);
  return true;
}

bool ReadPlacing(const std::vector<std::string>& args, size_t* pAt, EditArgs_t* pEdit,
                 std::string* pError) {
  bool at = false, name = false;
  while (*pAt + 1 < args.size() && (args[*pAt + 1] == "--at" || args[*pAt + 1] == "--name")) {
    const std::string& option = args[++*pAt];
    bool& seen = option == "--at" ? at : name;
    if (seen) return (*pError = option + " is given twice for one edit", false);
    seen = true;
    if (++*pAt >= args.size()) return (*pError = option + " needs a value", false);
    if (option == "--at" && !ReadAt(args[*pAt], &pEdit->Placing.At, pError)) return false;
    if (option == "--name" && (pEdit->Placing.Name = args[*pAt]).empty())
      return (*pError = "--name needs a name", false);
  }
  return true;
}

bool ParseArgs(const std::vector<std::string>& args, Options_t* pOptions, std::string* pError) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "--version") {
      (arg == "--help" ? pOptions->Help : pOptions->Version) = true;
    } else if (arg == "--dry-run" || arg == "--json") {
      (arg == "--dry-run" ? pOptions->DryRun : pOptions->Json) = true;
    } else if (arg == "-m" || arg == "-o") {
      if (i + 1 >= args.size()) return (*pError = arg + " needs a value", false);
      (arg == "-m" ? pOptions->Mocf : pOptions->Out) = args[++i];
    } else if (arg == "--remove" || arg == "--replace" || arg == "--add" || arg == "--set" ||
               arg == "--unset") {
      EditArgs_t edit;
      if (!ReadEdit(args, &i, &edit, pError)) return false;
      if ((arg == "--add" || arg == "--replace") && !ReadPlacing(args, &i, &edit, pError)) return false;
      pOptions->Edits.push_back(std::move(edit));
    } else if (arg == "--at" || arg == "--name") {
      return (*pError = arg + " follows an --add or a --replace", false);
    } else {
      return (*pError = (arg.size() > 1 && arg[0] == '-' ? "unknown option " : "unexpected argument ") + arg, false);
    }
  }
  if (pOptions->Help || pOptions->Version)
    *pError = args.size() == 1 ? "" : "--help and --version stand alone";
  else if (pOptions->Mocf.empty())
    *pError = "no MOCF given (-m MOCF)";
  else if (pOptions->Edits.empty())
    *pError = "no edit given";
  else if (pOptions->Json && !pOptions->DryRun)
    *pError = "--json goes with --dry-run";
  return pError->empty();
}

// Each line of a failure, said where it comes from.
std::string Report(const Options_t& options, const Failure_t& failure) {
  const std::string where =
      failure.Line > 0 && failure.Line <= static_cast<int>(options.Edits.size())
          ? "mocfedit: edit " + std::to_string(failure.Line) + " (" +
                options.Edits[failure.Line - 1].Typed + "): "
          : "mocfedit: ";
  std::istringstream lines(failure.Text());
  std::string out;
  for (std::string line; std::getline(lines, line);)
    if (!line.empty()) out += where + line + '\n';
  return out;
}

bool Apply(CEdit* pEdit, const EditArgs_t& edit, Failure_t* pFailure) {
  EditInput_t input;
  input.Words = edit.Run;
  if (edit.Option == "--remove") return pEdit->Remove(edit.Selector, pFailure);
  if (edit.Option == "--replace") return pEdit->Replace(edit.Selector, input, edit.Placing, pFailure);
  if (edit.Option == "--add") return pEdit->Add(input, edit.Placing, pFailure);
  if (edit.Option == "--set") return pEdit->Set(edit.Selector, edit.Key, edit.Value, pFailure);
  return pEdit->Unset(edit.Selector, edit.Key, pFailure);
}

// Whether OUT is the MOCF itself, by any of its names.
bool SameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  if (fs::equivalent(Utf8Path(a), Utf8Path(b), ec) && !ec) return true;
  return fs::weakly_canonical(fs::absolute(Utf8Path(a)), ec) ==
         fs::weakly_canonical(fs::absolute(Utf8Path(b)), ec);
}

int ShowDryRun(const Options_t& options, const CEdit& edit, std::ostream& out, std::ostream& err) {
  std::vector<unsigned char> result;
  Failure_t failure;
  if (!edit.Render(&result, &failure)) return err << Report(options, failure), failure.Status;
  mocfinfo::CMocfImage old;
  std::string why;
  if (!old.Load(options.Mocf, &why)) return err << "mocfedit: cannot read " << options.Mocf << ": " << why << '\n', 2;
  const std::string named = options.Out.empty() ? options.Mocf + " (edited)" : options.Out;
  const mocfinfo::DiffInput sides[2] = {{options.Mocf, old.Data(), old.Size(), old.Pace()},
                                        {named, result.data(), result.size(), nullptr}};
  mocfinfo::MocfDiff diff;
  if (mocfinfo::CompareImages(sides, &diff, &why) == mocfinfo::kCouldNot)
    return err << "mocfedit: " << why << '\n', 2;
  if (options.Json)
    mocfinfo::PrintDiffJson(diff, out);
  else
    mocfinfo::PrintDiff(diff, out);
  return 0;
}

int Edit(const Options_t& options, std::ostream& out, std::ostream& err) {
  const std::string mocf = Utf8Of(fs::absolute(Utf8Path(options.Mocf)));
  const bool elsewhere = !options.Out.empty() && !SameFile(options.Out, options.Mocf);
  const std::string target = elsewhere ? Utf8Of(fs::absolute(Utf8Path(options.Out))) : mocf;
  // The MOCF stays as it is read until its result stands; OUT is locked
  // too, after it in the order of their names, so that two edits between
  // the same two files never wait for each other.
  const std::string first = ResolveLinks(mocf), second = ResolveLinks(target);
  const bool mocfFirst = !elsewhere || LockOrderName(first) < LockOrderName(second);
  const platform::CFileLock lock(mocfFirst ? first : second);
  std::unique_ptr<platform::CFileLock> outLock;
  if (elsewhere) outLock = std::make_unique<platform::CFileLock>(mocfFirst ? second : first);
  const platform::CFileLock& targetLock = !elsewhere ? lock : mocfFirst ? *outLock : lock;
  CEdit edit;
  Failure_t failure;
  // A damaged MOCF is all a failed edit reports, whatever else is wrong.
  const auto refused = [&] {
    Failure_t damaged;
    const Failure_t& said = edit.LoadedDigestHolds(&damaged) ? failure : damaged;
    err << Report(options, said);
    return said.Status;
  };
  if (!edit.Open(mocf, options.Mocf, &failure, true)) return err << Report(options, failure), failure.Status;
  for (const EditArgs_t& one : options.Edits)
    if (!Apply(&edit, one, &failure)) return refused();
  if (!edit.Check(&failure)) return refused();
  if (options.DryRun) return ShowDryRun(options, edit, out, err);
  // What was written is named as typed: OUT's signature goes stale, not the MOCF's.
  const std::string& written = options.Out.empty() ? options.Mocf : options.Out;
  if (edit.Write(target, targetLock, nullptr, &failure))
    return err << platform::StaleSignatureWarning("mocfedit", written), 0;
  if (failure.Status == 0)
    failure = {0, 2, "", false,
               "could not write " + (elsewhere ? options.Out : options.Mocf) +
                   " (a write failed, or an input changed while it was read); " +
                   (elsewhere ? "nothing was written\n" : "it is as it was\n")};
  err << Report(options, failure);
  return failure.Status;
}

}  // namespace

int RunMocfedit(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  Options_t options;
  std::string error;
  if (!ParseArgs(args, &options, &error)) {
    err << "mocfedit: " << error << '\n' << kUsage;
    return 1;
  }
  if (options.Help) {
    out << kUsage;
    return 0;
  }
  if (options.Version) {
    out << "mocfedit " MOCFEDIT_VERSION "\n";
    return 0;
  }
  return Edit(options, out, err);
}

}  // namespace mocfedit
