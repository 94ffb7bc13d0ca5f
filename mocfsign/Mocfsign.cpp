#include "Mocfsign.h"

#include <cstdio>
#include <map>
#include <sstream>

#include "edit/Selector.h"
#include "inspect/Json.h"
#include "platform/Platform.h"
#include "sign/Signature.h"

#ifndef MOCFSIGN_VERSION
#error "the build defines MOCFSIGN_VERSION"
#endif

namespace mocfsign {

namespace {

const char kUsage[] =
    "usage: mocfsign -m MOCF --key KEY --cert CERT [--chain PEM] [--pass SRC] [-o SIG]\n"
    "       mocfsign --verify -m MOCF [--sig SIG] --trust CA.pem [--signers N]\n"
    "                [--at-signing-time] [--json]\n"
    "       mocfsign --show SIG [--json]\n"
    "       mocfsign --help | --version\n"
    "  KEY: a PEM key file or a pkcs11: URI; SRC: env:VAR, file:PATH, fd:N or stdin\n";

const char kNoSecretWords[] = "use env:VAR, file:PATH, fd:N or stdin";

// What an option may be given with: signing is the mode without --verify
// or --show, and --help and --version stand alone.
enum : unsigned { kSigning = 1, kVerifying = 2, kShowing = 4 };

struct OptionWord_t {
  const char* Name;
  bool Value;
  unsigned Modes;
};

const OptionWord_t kOptions[] = {
    {"-m", true, kSigning | kVerifying}, {"--key", true, kSigning},
    {"--cert", true, kSigning},          {"--chain", true, kSigning},
    {"--pass", true, kSigning},          {"-o", true, kSigning},
    {"--verify", false, kVerifying},     {"--sig", true, kVerifying},
    {"--trust", true, kVerifying},       {"--signers", true, kVerifying},
    {"--at-signing-time", false, kVerifying}, {"--json", false, kVerifying | kShowing},
    {"--show", true, kShowing},          {"--help", false, 0},
    {"--version", false, 0}};

const OptionWord_t* FindOption(const std::string& name) {
  for (const OptionWord_t& option : kOptions)
    if (name == option.Name) return &option;
  return nullptr;
}

std::string ModeWords(unsigned modes) {
  std::string words;
  for (const auto& [mode, word] : {std::pair<unsigned, const char*>{kSigning, "signing"},
                                   {kVerifying, "--verify"}, {kShowing, "--show"}})
    if (modes & mode) words += (words.empty() ? "" : " or ") + std::string(word);
  return words;
}

// Each option given, by name, with its value ("" for a flag).
using Given_t = std::map<std::string, std::string>;

bool ReadWords(const std::vector<std::string>& args, Given_t* pGiven, std::string* pError) {
  for (size_t i = 0; i < args.size(); ++i) {
    const OptionWord_t* pOption = FindOption(args[i]);
    if (!pOption)
      return (*pError = (args[i].size() > 1 && args[i][0] == '-' ? "unknown option "
                                                                   : "unexpected argument ") + args[i],
              false);
    if (pGiven->count(args[i])) return (*pError = args[i] + " is given twice", false);
    if (pOption->Value && i + 1 >= args.size()) return (*pError = args[i] + " needs a value", false);
    const std::string& name = args[i];
    (*pGiven)[name] = pOption->Value ? args[++i] : "";
  }
  return true;
}

unsigned ModeOf(const Given_t& given) {
  if (given.count("--help") || given.count("--version")) return 0;
  if (given.count("--show")) return kShowing;
  return given.count("--verify") ? kVerifying : kSigning;
}

// A secret never stands on the command line, where other users and the
// shell's history see it; the refusal does not repeat it either.
bool CheckSecrets(const Given_t& given, std::string* pError) {
  const auto pass = given.find("--pass");
  if (pass != given.end()) {
    const std::string& source = pass->second;
    if (source.rfind("pass:", 0) == 0)
      return (*pError = std::string("--pass pass:...: never give a secret as a command-line word: ") +
                        kNoSecretWords,
              false);
    if (source != "stdin" && source.rfind("env:", 0) && source.rfind("file:", 0) && source.rfind("fd:", 0))
      return (*pError = std::string("--pass: ") + kNoSecretWords, false);
  }
  const auto key = given.find("--key");
  if (key != given.end() && key->second.rfind("pkcs11:", 0) == 0 &&
      key->second.find("pin-value=") != std::string::npos)
    return (*pError = "--key: a pkcs11: URI never holds the PIN (pin-value=): use pin-source= or --pass",
            false);
  return true;
}

bool CheckMode(const std::vector<std::string>& args, const Given_t& given, std::string* pError) {
  const unsigned mode = ModeOf(given);
  if (mode == 0) return args.size() == 1 || (*pError = "--help and --version stand alone", false);
  if (given.count("--verify") && given.count("--show"))
    return (*pError = "--verify and --show do not go together: give one", false);
  for (const auto& [name, value] : given) {
    const OptionWord_t* pOption = FindOption(name);
    if (!(pOption->Modes & mode))
      return (*pError = name + " goes with " + ModeWords(pOption->Modes) + ", not with " + ModeWords(mode),
              false);
  }
  if (mode == kShowing) return true;
  if (!given.count("-m")) return (*pError = "no MOCF given (-m MOCF)", false);
  if (mode == kVerifying && !given.count("--trust"))
    return (*pError = "no trust anchor given (--trust CA.pem): mocfsign never verifies without one", false);
  if (mode == kSigning && !given.count("--key")) return (*pError = "no key given (--key KEY)", false);
  if (mode == kSigning && !given.count("--cert"))
    return (*pError = "no certificate given (--cert CERT)", false);
  int signers = 0;
  if (given.count("--signers") && !mocfedit::ReadCount(given.at("--signers"), &signers))
    return (*pError = "--signers " + given.at("--signers") + ": N is a count of signers from 1", false);
  return CheckSecrets(given, pError);
}

std::string Value(const Given_t& given, const char* pName) {
  const auto found = given.find(pName);
  return found == given.end() ? "" : found->second;
}

// Each line of the engine's reason, said as mocfsign's.
void Say(const std::string& lines, std::ostream& err, const char* pKind = "") {
  std::istringstream in(lines);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) err << "mocfsign: " << pKind << line << '\n';
}

std::string Plural(int count, const char* pWord) {
  return std::to_string(count) + " " + pWord + (count == 1 ? "" : "s");
}

// Said as the process ends, since the bytes a reader was on are gone.
std::string CutShort(const std::string& mocf) {
  return "mocfsign: " + mocf + ": the file was cut short while it was read\n";
}

int Sign(const Given_t& given, std::ostream& out, std::ostream& err) {
  SignRequest_t request;
  request.Mocf = Value(given, "-m");
  request.Key = Value(given, "--key");
  request.Cert = Value(given, "--cert");
  request.Chain = Value(given, "--chain");
  request.Pass = Value(given, "--pass");
  request.Out = Value(given, "-o");
  request.WhyCutShort = CutShort(request.Mocf);
  // A passphrase read from a terminal would be typed at a prompt, and
  // mocfsign never prompts.
  if (request.Pass == "stdin" && platform::IsTerminal(stdin))
    return err << "mocfsign: --pass stdin: standard input is a terminal, which mocfsign never reads: "
                  "pipe the passphrase in, or use env:VAR, file:PATH or fd:N\n", 2;
  SignOutcome_t outcome;
  std::string why;
  if (!mocfsign::Sign(request, &outcome, &why)) return Say(why, err), 2;
  for (const std::string& warning : outcome.Warnings) Say(warning, err, "warning: ");
  out << outcome.Out << ": " << Plural(outcome.Signers, "signer") << '\n';
  return 0;
}

std::string JsonOrNull(const std::string& text) { return text.empty() ? "null" : mocfinfo::JsonString(text); }

void SignerJson(const Signer_t& signer, bool verdict, std::ostream& out) {
  using mocfinfo::JsonString;
  out << "{\"subject\": " << JsonString(signer.Subject) << ", \"issuer\": " << JsonString(signer.Issuer)
      << ", \"serial\": " << JsonString(signer.Serial) << ", \"key_type\": " << JsonString(signer.KeyType)
      << ", \"signing_time\": " << JsonOrNull(signer.SigningTime)
      << ", \"not_before\": " << JsonString(signer.NotBefore)
      << ", \"not_after\": " << JsonString(signer.NotAfter);
  if (verdict)
    out << ", \"verified\": " << (signer.Verified ? "true" : "false")
        << ", \"reason\": " << (signer.Verified ? "null" : JsonOrNull(signer.Reason));
  out << '}';
}

void SignersJson(const std::vector<Signer_t>& signers, bool verdict, std::ostream& out) {
  out << "[";
  for (size_t i = 0; i < signers.size(); ++i) {
    out << (i ? ",\n  " : "\n  ");
    SignerJson(signers[i], verdict, out);
  }
  out << (signers.empty() ? "]}\n" : "\n ]}\n");
}

void VerificationJson(const VerifyRequest_t& request, const Verification_t& v, std::ostream& out) {
  using mocfinfo::JsonString;
  out << "{\"verify_version\": 1,\n \"mocf\": " << JsonString(request.Mocf)
      << ",\n \"signature\": " << JsonString(request.Sig) << ",\n \"status\": " << v.Status
      << ",\n \"verified\": " << (v.Status == 0 ? "true" : "false")
      << ",\n \"mocf_valid\": " << (v.MocfValid ? "true" : "false")
      << ",\n \"mocf_reason\": " << (v.MocfValid ? "null" : JsonOrNull(v.MocfReason))
      << ",\n \"signature_found\": " << (v.SigFound ? "true" : "false")
      << ",\n \"at_signing_time\": " << (request.AtSigningTime ? "true" : "false")
      << ",\n \"signers_required\": " << request.Signers << ",\n \"signers_verified\": " << v.Verified
      << ",\n \"reason\": " << (v.Status == 0 ? "null" : JsonOrNull(v.Why))
      << ",\n \"signers\": ";
  SignersJson(v.Signers, true, out);
}

// Why it does not verify, in one clause.
std::string Failing(const VerifyRequest_t& request, const Verification_t& v) {
  if (!v.SigFound) return "there is no signature " + request.Sig;
  if (!v.MocfValid) return "the MOCF is not valid: " + v.MocfReason;
  return Plural(v.Verified, "signer") + (v.Verified == 1 ? " verifies, " : " verify, ") +
         std::to_string(request.Signers) + " required";
}

void VerificationText(const VerifyRequest_t& request, const Verification_t& v, std::ostream& out) {
  for (size_t i = 0; i < v.Signers.size(); ++i) {
    const Signer_t& signer = v.Signers[i];
    out << "signer " << i + 1 << ": " << signer.Subject << " (issued by " << signer.Issuer << "): "
        << (signer.Verified ? "verified" : "does not verify: " + signer.Reason) << '\n';
  }
  out << request.Mocf << ": "
      << (v.Status == 0 ? "verified by " + Plural(v.Verified, "signer") + ", " +
                              std::to_string(request.Signers) + " required"
                        : "does not verify: " + Failing(request, v));
  if (request.AtSigningTime) out << " (validity judged at the signing time each signer signed)";
  out << '\n';
}

// Why each signer that does not verify does not, unless the engine's
// reason says so already.
std::string SignerReasons(const Verification_t& v) {
  std::string lines;
  for (size_t i = 0; i < v.Signers.size(); ++i) {
    const std::string line = "signer " + std::to_string(i + 1) + " (" + v.Signers[i].Subject + "): " +
                             v.Signers[i].Reason + "\n";
    if (!v.Signers[i].Verified && v.Why.find(line) == std::string::npos) lines += line;
  }
  return lines;
}

int VerifyMocf(const Given_t& given, std::ostream& out, std::ostream& err) {
  VerifyRequest_t request;
  request.Mocf = Value(given, "-m");
  request.Sig = given.count("--sig") ? Value(given, "--sig") : SignaturePath(request.Mocf);
  request.Trust = Value(given, "--trust");
  request.AtSigningTime = given.count("--at-signing-time") > 0;
  request.WhyCutShort = CutShort(request.Mocf);
  if (given.count("--signers")) mocfedit::ReadCount(Value(given, "--signers"), &request.Signers);
  Verification_t v = Verify(request);
  // A verdict of 0 stands only with every count behind it.
  if (v.Status == 0 && (!v.SigFound || !v.MocfValid || v.Verified < request.Signers)) v.Status = 1;
  Say(v.Status == 0 ? "" : v.Why + SignerReasons(v), err);
  if (v.Status == 2) return 2;
  if (given.count("--json"))
    VerificationJson(request, v, out);
  else
    VerificationText(request, v, out);
  return v.Status;
}

int ShowSig(const Given_t& given, std::ostream& out, std::ostream& err) {
  const std::string sig = Value(given, "--show");
  std::vector<Signer_t> signers;
  std::string why;
  if (!Show(sig, &signers, &why)) return Say(why, err), 2;
  if (given.count("--json")) {
    out << "{\"show_version\": 1,\n \"signature\": " << mocfinfo::JsonString(sig) << ",\n \"signers\": ";
    SignersJson(signers, false, out);
    return 0;
  }
  for (size_t i = 0; i < signers.size(); ++i) {
    const Signer_t& s = signers[i];
    out << "signer " << i + 1 << ":\n  subject:  " << s.Subject << "\n  issuer:   " << s.Issuer
        << "\n  serial:   " << s.Serial << "\n  key:      " << s.KeyType
        << "\n  signed:   " << (s.SigningTime.empty() ? "(no signing time)" : s.SigningTime)
        << "\n  valid:    " << s.NotBefore << " to " << s.NotAfter << '\n';
  }
  return 0;
}

}  // namespace

int RunMocfsign(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  Given_t given;
  std::string error;
  if (args.empty() || !ReadWords(args, &given, &error) || !CheckMode(args, given, &error)) {
    if (error.empty()) error = "nothing to do";
    err << "mocfsign: " << error << '\n' << kUsage;
    return 2;
  }
  if (given.count("--help")) return out << kUsage, 0;
  if (given.count("--version")) return out << "mocfsign " MOCFSIGN_VERSION "\n", 0;
  // Never a success from a build that cannot check: whatever was asked.
  if (*NoSupport()) return err << "mocfsign: " << NoSupport() << '\n', 2;
  const unsigned mode = ModeOf(given);
  if (mode == kShowing) return ShowSig(given, out, err);
  return mode == kVerifying ? VerifyMocf(given, out, err) : Sign(given, out, err);
}

}  // namespace mocfsign
