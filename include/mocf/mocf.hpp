// libmocf for C++17: RAII handles and exceptions over the C API of
// <mocf/mocf.h>, in this header alone, so that the library's binary
// interface stays the C one whatever compiler the caller uses.
//
// Failures throw mocf::Error, which carries the C code, the program's exit
// status and list line where there is one, and the programs' words. The C
// API is there for callers who want no exceptions; here the common path
// reads straight through. Record data comes as views into the open file,
// valid while the File lives. The writers (build, append, Edit::commit)
// return what a success warns of, as the program says it on standard error
// (a signature beside the MOCF that no longer matches it), each line ending
// "\n"; empty when there is nothing to say.
#ifndef MOCF_MOCF_HPP
#define MOCF_MOCF_HPP

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "mocf.h"

namespace mocf {

class Error : public std::runtime_error {
 public:
  explicit Error(const mocf_error& error)
      : std::runtime_error(error.message), m_code(error.code), m_status(error.status),
        m_line(error.line) {}
  int code() const noexcept { return m_code; }
  // The exit status the program would give (1 or 2), or 0.
  int status() const noexcept { return m_status; }
  // The list line of the run a build refused, or 0.
  int line() const noexcept { return m_line; }

 private:
  int m_code, m_status, m_line;
};

namespace detail {
inline void check(int code) {
  if (code < 0) throw Error(*mocf_error_last());
}
// A writer's success, and what it warns of.
inline std::string warning(int code) {
  check(code);
  return mocf_error_last()->message;
}
}  // namespace detail

// A view of bytes inside an open File.
struct Bytes {
  const unsigned char* data = nullptr;
  uint64_t size = 0;
  const unsigned char* begin() const { return data; }
  const unsigned char* end() const { return data + size; }
  std::string_view view() const {
    return std::string_view(reinterpret_cast<const char*>(data), static_cast<size_t>(size));
  }
};

enum class Part { record = MOCF_PART_RECORD, value = MOCF_PART_VALUE, content = MOCF_PART_CONTENT };

struct Record {
  int number = 0;
  uint64_t offset = 0;
  uint32_t tag = 0;
  uint32_t length = 0;
  std::string_view kind;  // the listing's word
  bool read = true;
};

struct UserFile {
  std::string_view name;
  Bytes data;
};

struct Firmware {
  std::string_view software;
  Bytes data;
};

class File {
 public:
  static File open(const std::string& path) {
    mocf_file* handle = nullptr;
    detail::check(mocf_open(&handle, path.c_str()));
    return File(handle);
  }
  static File fromMemory(const void* data, size_t size, const std::string& name = "(memory)") {
    mocf_file* handle = nullptr;
    detail::check(mocf_open_memory(&handle, data, size, name.c_str()));
    return File(handle);
  }

  File(File&& other) noexcept : m_handle(std::exchange(other.m_handle, nullptr)) {}
  File& operator=(File&& other) noexcept {
    if (this != &other) {
      mocf_close(m_handle);
      m_handle = std::exchange(other.m_handle, nullptr);
    }
    return *this;
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File() { mocf_close(m_handle); }

  uint64_t size() const { return mocf_size(m_handle); }
  bool valid() const { return mocf_valid(m_handle) != 0; }
  // Empty when valid.
  std::string_view reason() const {
    const char* why = mocf_reason(m_handle);
    return why ? why : "";
  }
  // Empty when the walk reached the container's end.
  std::string_view walkStop() const {
    const char* why = mocf_walk_stop(m_handle);
    return why ? why : "";
  }
  int recordCount() const { return mocf_record_count(m_handle); }

  Record record(int number) {
    mocf_record r;
    detail::check(mocf_record_get(m_handle, number, &r));
    return {r.number, r.offset, r.tag, r.length, r.kind, r.read != 0};
  }
  std::string description(int number) {
    char* text = nullptr;
    detail::check(mocf_record_description(m_handle, number, &text));
    std::string out(text);
    mocf_free(text);
    return out;
  }
  Bytes bytes(int number, Part part = Part::content) {
    Bytes out;
    detail::check(
        mocf_record_data(m_handle, number, static_cast<int>(part), &out.data, &out.size));
    return out;
  }
  void save(int number, const std::string& path, Part part = Part::content) {
    detail::check(mocf_record_save(m_handle, number, static_cast<int>(part), path.c_str()));
  }

  UserFile userFile(int number) { return textAndBytes<UserFile>(mocf_user_file, number); }
  // The user file of this stored name, if any.
  bool findUserFile(std::string_view name, UserFile* out) {
    for (int n = 1; n <= recordCount(); ++n) {
      if (record(n).kind != "user file") continue;
      const char* stored = nullptr;
      size_t size = 0;
      Bytes data;
      if (mocf_user_file(m_handle, n, &stored, &size, &data.data, &data.size) == MOCF_OK &&
          std::string_view(stored, size) == name) {
        *out = {std::string_view(stored, size), data};
        return true;
      }
    }
    return false;
  }
  std::string_view text(int number) { return field(mocf_text, number); }
  std::string_view partNumber(int number) { return field(mocf_part_number, number); }
  std::vector<uint32_t> products(int number) {
    size_t count = 0;
    detail::check(mocf_products(m_handle, number, nullptr, 0, &count));
    std::vector<uint32_t> out(count);
    detail::check(mocf_products(m_handle, number, out.data(), out.size(), &count));
    return out;
  }
  Firmware firmware(int number) { return textAndBytes<Firmware>(mocf_firmware, number); }

  // Unpacks into folder. True when the inputs rebuild the file byte for
  // byte; false, with the reasons in *why, when they do not.
  bool unpack(const std::string& folder, std::string* why = nullptr) {
    const int code = mocf_unpack(m_handle, folder.c_str());
    if (code == MOCF_ENOTEXACT) {
      if (why) *why = mocf_error_last()->message;
      return false;
    }
    detail::check(code);
    return true;
  }

  mocf_file* handle() const noexcept { return m_handle; }

 private:
  explicit File(mocf_file* handle) : m_handle(handle) {}
  std::string_view field(int (*get)(mocf_file*, int, const char**, size_t*), int number) {
    const char* text = nullptr;
    size_t size = 0;
    detail::check(get(m_handle, number, &text, &size));
    return std::string_view(text, size);
  }
  template <class Out>
  Out textAndBytes(int (*get)(mocf_file*, int, const char**, size_t*, const unsigned char**,
                              uint64_t*),
                   int number) {
    const char* text = nullptr;
    size_t size = 0;
    Bytes data;
    detail::check(get(m_handle, number, &text, &size, &data.data, &data.size));
    return Out{std::string_view(text, size), data};
  }

  mocf_file* m_handle;
};

struct Progress {
  int line;          // the list line reached
  uint64_t written;  // bytes written so far; 0 while the list is read
  uint64_t total;    // bytes to write; 0 while the list is read
};

// mocfbuild [-d] -m mocf list.
inline std::string build(const std::string& list, const std::string& mocf, bool fresh = false,
                         const std::function<void(const Progress&)>& progress = nullptr) {
  struct Trampoline {
    static void call(void* context, int line, uint64_t written, uint64_t total) {
      (*static_cast<const std::function<void(const Progress&)>*>(context))(
          Progress{line, written, total});
    }
  };
  return detail::warning(mocf_build(list.c_str(), mocf.c_str(), fresh ? MOCF_FRESH : 0u,
                                    progress ? &Trampoline::call : nullptr,
                                    const_cast<std::function<void(const Progress&)>*>(&progress)));
}

struct AppendOptions {
  bool fresh = false;
  std::string partNumber;  // --PartNum, when not empty
  std::string tag;         // --tag, as text, when not empty
};

// One mocftool run. An empty input stands for none (software keys alone).
inline std::string append(const std::string& mocf, const std::string& input,
                          const std::string& type, const AppendOptions& options = {}) {
  return detail::warning(mocf_append(
      mocf.c_str(), input.empty() ? nullptr : input.c_str(), type.c_str(),
      options.fresh ? MOCF_FRESH : 0u,
      options.partNumber.empty() ? nullptr : options.partNumber.c_str(),
      options.tag.empty() ? nullptr : options.tag.c_str()));
}

struct Diff {
  bool same = true;
  std::string json;  // as mocfinfo --diff --json prints it
};

// What changed from the MOCF at oldPath to the one at newPath.
inline Diff diff(const std::string& oldPath, const std::string& newPath) {
  int same = 0;
  char* json = nullptr;
  detail::check(mocf_diff(oldPath.c_str(), newPath.c_str(), &same, &json));
  Diff out{same != 0, json};
  mocf_free(json);
  return out;
}

// A new record's input from memory (mocf_input): data with a null data()
// is no file at all, for software keys given by their part number alone;
// an empty name, part number or tag is none.
struct Input {
  Input(std::string type_, std::string_view data_ = {}, std::string name_ = "",
        std::string partNumber_ = "", std::string tag_ = "")
      : type(std::move(type_)), data(data_), name(std::move(name_)),
        partNumber(std::move(partNumber_)), tag(std::move(tag_)) {}
  std::string type;  // a -t or --type word
  std::string_view data;
  std::string name;
  std::string partNumber;
  std::string tag;
};

// A MOCF being edited as mocfedit edits it; see mocf_edit_open. Each call
// that is refused throws and leaves the edit as it was; destroyed without
// commit(), nothing is written. A record is chosen by its number or by a
// selector ("MenuSettings", "user:s.txt#2", "tag:0x70000001").
class Edit {
 public:
  static Edit open(const std::string& path, bool fresh = false) {
    mocf_edit* handle = nullptr;
    detail::check(mocf_edit_open(&handle, path.c_str(), fresh ? MOCF_FRESH : 0u));
    return Edit(handle);
  }
  static Edit fromMemory(const void* data, size_t size, const std::string& name = "(memory)") {
    mocf_edit* handle = nullptr;
    detail::check(mocf_edit_open_memory(&handle, data, size, name.c_str()));
    return Edit(handle);
  }

  Edit(Edit&& other) noexcept : m_handle(std::exchange(other.m_handle, nullptr)) {}
  Edit& operator=(Edit&& other) noexcept {
    if (this != &other) {
      mocf_edit_discard(m_handle);
      m_handle = std::exchange(other.m_handle, nullptr);
    }
    return *this;
  }
  Edit(const Edit&) = delete;
  Edit& operator=(const Edit&) = delete;
  ~Edit() { mocf_edit_discard(m_handle); }

  int recordCount() const { return mocf_edit_record_count(m_handle); }

  void remove(const std::string& selector) { detail::check(mocf_edit_remove(m_handle, selector.c_str())); }
  void remove(int number) { remove(std::to_string(number)); }
  // run: one list line; at 0 for the default place; an empty name for the default.
  void add(const std::string& run, int at = 0, const std::string& name = "") {
    detail::check(mocf_edit_add(m_handle, run.c_str(), at, orNull(name)));
  }
  void add(const Input& input, int at = 0) {
    const mocf_input in = raw(input);
    detail::check(mocf_edit_add_input(m_handle, &in, at));
  }
  void replace(const std::string& selector, const std::string& run, int at = 0,
               const std::string& name = "") {
    detail::check(mocf_edit_replace(m_handle, selector.c_str(), run.c_str(), at, orNull(name)));
  }
  void replace(int number, const std::string& run, int at = 0, const std::string& name = "") {
    replace(std::to_string(number), run, at, name);
  }
  void replace(const std::string& selector, const Input& input, int at = 0) {
    const mocf_input in = raw(input);
    detail::check(mocf_edit_replace_input(m_handle, selector.c_str(), &in, at));
  }
  void replace(int number, const Input& input, int at = 0) {
    replace(std::to_string(number), input, at);
  }
  void set(const std::string& selector, const std::string& key, const std::string& value) {
    detail::check(mocf_edit_set(m_handle, selector.c_str(), key.c_str(), value.c_str()));
  }
  void set(int number, const std::string& key, const std::string& value) {
    set(std::to_string(number), key, value);
  }
  void unset(const std::string& selector, const std::string& key) {
    detail::check(mocf_edit_unset(m_handle, selector.c_str(), key.c_str()));
  }
  void unset(int number, const std::string& key) { unset(std::to_string(number), key); }

  void check() { detail::check(mocf_edit_check(m_handle)); }
  std::vector<unsigned char> render() {
    unsigned char* data = nullptr;
    uint64_t size = 0;
    detail::check(mocf_edit_render(m_handle, &data, &size));
    std::vector<unsigned char> out(data, data + size);
    mocf_free(data);
    return out;
  }
  // Over out, or over the MOCF it was opened from when out is empty.
  std::string commit(const std::string& out = "",
                     const std::function<void(const Progress&)>& progress = nullptr) {
    return detail::warning(
        mocf_edit_commit(m_handle, orNull(out), progress ? &told : nullptr,
                         const_cast<std::function<void(const Progress&)>*>(&progress)));
  }

  mocf_edit* handle() const noexcept { return m_handle; }

 private:
  explicit Edit(mocf_edit* handle) : m_handle(handle) {}
  static const char* orNull(const std::string& text) { return text.empty() ? nullptr : text.c_str(); }
  static mocf_input raw(const Input& input) {
    return {input.type.c_str(), input.data.data(), input.data.size(), orNull(input.name),
            orNull(input.partNumber), orNull(input.tag)};
  }
  static void told(void* context, int line, uint64_t written, uint64_t total) {
    (*static_cast<const std::function<void(const Progress&)>*>(context))(
        Progress{line, written, total});
  }

  mocf_edit* m_handle;
};

// ---- Signatures: a detached signature beside a MOCF, as mocfsign makes
// and verifies it (see mocf_sign and mocf_verify_signature).

struct SignOptions {
  std::string chain;  // certificates to carry besides, PEM; empty for none
  std::string pass;   // env:VAR, file:PATH, fd:N or stdin; empty for none
  std::string sig;    // empty: the MOCF's path plus ".sig"
};

// Signs the MOCF with key (a PEM key file or a pkcs11: URI) and cert;
// returns what mocfsign warns of, signed all the same ("" for nothing).
inline std::string sign(const std::string& mocf, const std::string& key, const std::string& cert,
                        const SignOptions& options = {}) {
  auto orNull = [](const std::string& text) { return text.empty() ? nullptr : text.c_str(); };
  return detail::warning(mocf_sign(mocf.c_str(), key.c_str(), cert.c_str(),
                                   orNull(options.chain), orNull(options.pass),
                                   orNull(options.sig)));
}

struct Signer {
  std::string subject, issuer, serial, keyType;
  std::string signingTime;  // empty when none is signed
  std::string notBefore, notAfter;
  bool verified = false;
  std::string reason;  // why it does not verify; empty when it does
};

struct Verification {
  int status = 2;  // mocfsign's: 0 verified, 1 does not verify
  bool verified = false;
  int signersVerified = 0;
  std::vector<Signer> signers;  // each with its verdict
  std::string reason;           // why not; empty when verified
  bool mocfValid = false;
  std::string mocfReason;
  bool signatureFound = false;
};

struct VerifyOptions {
  std::string sig;  // empty: the MOCF's path plus ".sig"
  int signers = 1;  // distinct signer certificates that must verify
  bool atSigningTime = false;
};

// Verifies against the PEM certificates of trust. A signature that does
// not verify is a result, every signer's verdict in it; one that cannot be
// checked (a file unread, no signature support) throws.
inline Verification verifySignature(const std::string& mocf, const std::string& trust,
                                    const VerifyOptions& options = {}) {
  mocf_verification* raw = nullptr;
  const int code = mocf_verify_signature(
      mocf.c_str(), options.sig.empty() ? nullptr : options.sig.c_str(), trust.c_str(),
      options.signers, options.atSigningTime ? MOCF_AT_SIGNING_TIME : 0u, &raw);
  const std::unique_ptr<mocf_verification, void (*)(mocf_verification*)> held(
      raw, mocf_verification_free);
  if (code != MOCF_ENOTVERIFIED) detail::check(code);
  Verification out{raw->status,     raw->verified != 0, raw->signers_verified, {},
                   raw->reason,     raw->mocf_valid != 0, raw->mocf_reason,
                   raw->signature_found != 0};
  for (const mocf_signer* s = raw->signers; s != raw->signers + raw->signer_count; ++s)
    out.signers.push_back({s->subject, s->issuer, s->serial, s->key_type, s->signing_time,
                           s->not_before, s->not_after, s->verified != 0, s->reason});
  return out;
}

inline std::string_view version() { return mocf_version(); }

}  // namespace mocf

#endif  // MOCF_MOCF_HPP
