// The C API's edits: the engine's CEdit behind a handle that holds the
// MOCF's lock from before it is read until the result is written, as
// mocfedit holds it, each call in a context of its own.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <system_error>
#include <vector>

#include "api/ApiError.h"
#include "args/CommandLine.h"
#include "args/Usage.h"
#include "assemble/RunList.h"
#include "edit/Edit.h"
#include "platform/Platform.h"
#include "platform/ReplaceFile.h"
#include "platform/SignatureBeside.h"
#include "platform/Utf8Path.h"
#include "run/Messages.h"
#include "run/RunContext.h"

struct mocf_edit {
  mocfedit::CEdit edit;
  std::string path;   // absolute; empty for a MOCF from memory
  std::string named;  // as the caller gave it
  std::unique_ptr<platform::CFileLock> lock;
  bool committed = false;
};

namespace {

namespace fs = std::filesystem;
using mocfedit::Failure_t;

// Status 0 is a write that failed.
int Failed(const Failure_t& failure) {
  const int code = failure.Status == 1 ? MOCF_EREFUSED : failure.Status ? MOCF_EFAILED : MOCF_EIO;
  return api::Fail(code, failure.Text(), failure.Status);
}

// Runs call on a live edit in a run context of its own; call gives the
// engine's verdict, *pFailure set when it is false.
template <class Call>
int OnEdit(const mocf_edit* edit, bool needed, Call call) {
  return api::Guarded([&] {
    if (!edit || !needed) return api::Fail(MOCF_EARG, "an edit and its arguments\n");
    if (edit->committed) return api::Fail(MOCF_EARG, "the edit is committed: open another\n");
    run::Context_t run;
    const run::CScope scope(&run);
    Failure_t failure;
    return call(&failure) ? MOCF_OK : Failed(failure);
  });
}

bool Refuse(Failure_t* pFailure, std::string said, std::string why = "", int status = 1) {
  *pFailure = {0, status, std::move(said), false, std::move(why)};
  return false;
}

bool RunInput(const char* run, mocfedit::EditInput_t* pInput, Failure_t* pFailure) {
  std::string why;
  if (!SplitWords(run, &pInput->Words, &why))
    return Refuse(pFailure, "", "run " + QuotedWord(run) + ": " + why + "\n");
  if (pInput->Words.empty())
    return Refuse(pFailure, "", "the run is empty: give a list line, as \"-f notes.txt -t user\"\n");
  return true;
}

// A memory input's words read by the tool's own tables and checked by its
// rules, as the run "-f NAME -t TYPE ..." would be at that place; first
// when it becomes record 3, where only a product list may go.
bool MemoryInput(const mocf_input& in, bool first, mocfedit::EditInput_t* pInput,
                 Failure_t* pFailure) {
  const char* name = in.name ? in.name : "(memory)";
  std::vector<const char*> argv = {"mocftool", TypeOption(in.type), in.type};
  if (in.part_number) argv.insert(argv.end(), {"--PartNum", in.part_number});
  if (in.tag) argv.insert(argv.end(), {"--tag", in.tag});
  options_t options;
  ArgsRead_t read;
  messages::CCapture capture;
  if (!ReadArguments(static_cast<int>(argv.size()), argv.data(), &options, &read))
    return Refuse(pFailure, capture.Take(),
                  read.RefusedAt == 1 ? TypeWordHint(argv[1], in.type) + "\n" : "");
  options.InFile = in.data ? name : "";
  options.MocfFile = "(edit)";
  options.DeleteContents = first;
  if (!ValidateArgsForBytes(&options, !first)) return Refuse(pFailure, capture.Take());
  pInput->Type = options.Type;
  pInput->Name = name;
  pInput->NoFile = !in.data;
  if (in.data) pInput->Bytes.assign(static_cast<const char*>(in.data), in.size);
  pInput->PartNum = options.PartNum;
  pInput->Tag = options.Tag;
  return true;
}

// Where a new record lands, as far as the arguments show it: a replace at
// its default place is at its record's number only when the selector is
// one; otherwise the check judges a product list placed there.
bool LandsFirst(const mocf_edit* edit, const char* selector, int at) {
  if (at) return at == 3;
  if (!selector) return edit->edit.RecordCount() + 1 == 3;
  mocfedit::Selector_t chosen;
  std::string why;
  return !mocfedit::ParseSelector(selector, &chosen, &why) ||
         chosen.Kind != mocfedit::Selector_t::kNumber || chosen.Number == 3;
}

int Open(mocf_edit** out, const std::function<bool(mocf_edit*, Failure_t*)>& open) {
  return api::Guarded([&] {
    if (!out) return api::Fail(MOCF_EARG, "a place for the edit\n");
    *out = nullptr;
    auto edit = std::make_unique<mocf_edit>();
    run::Context_t run;
    const run::CScope scope(&run);
    Failure_t failure;
    if (!open(edit.get(), &failure)) return Failed(failure);
    *out = edit.release();
    return MOCF_OK;
  });
}

// The state of a file that tells a rewrite, for a lock let go and taken
// again.
struct Seen_t {
  uintmax_t size;
  fs::file_time_type time;
  bool operator==(const Seen_t& o) const { return size == o.size && time == o.time; }
};
Seen_t SeenOf(const std::string& path) {
  std::error_code ec;
  return {fs::file_size(Utf8Path(path), ec), fs::last_write_time(Utf8Path(path), ec)};
}

// The result written over target, its lock held with the MOCF's in the
// order of their names, as mocfedit takes them, so that two edits between
// the same two files never wait for each other.
bool Write(mocf_edit* edit, const std::string& target, mocf_progress_fn progress, void* context,
           Failure_t* pFailure) {
  std::function<void(uint64_t, uint64_t)> told;
  if (progress) told = [&](uint64_t written, uint64_t total) { progress(context, 0, written, total); };
  std::error_code ec;
  const bool elsewhere = edit->path.empty() ||
                         (target != edit->path && !fs::equivalent(Utf8Path(target), Utf8Path(edit->path), ec) &&
                          ResolveLinks(target) != ResolveLinks(edit->path));
  // A lock lost while it was taken again, in the order below, is not had.
  if (!edit->path.empty() && !edit->lock)
    return Refuse(pFailure, "", edit->named + " is no longer locked: open it again\n", 2);
  if (!elsewhere) return edit->edit.Write(target, *edit->lock, told, pFailure);
  const std::string mine = edit->path.empty() ? "" : ResolveLinks(edit->path);
  const std::string theirs = ResolveLinks(target);
  if (!mine.empty() && LockOrderName(theirs) < LockOrderName(mine)) {
    const Seen_t seen = SeenOf(edit->path);
    edit->lock.reset();
    const platform::CFileLock outLock(theirs);
    edit->lock = std::make_unique<platform::CFileLock>(mine);
    if (!(SeenOf(edit->path) == seen))
      return Refuse(pFailure, "", edit->named + " changed while it was edited; nothing was written\n", 2);
    return edit->edit.Write(target, outLock, told, pFailure);
  }
  const platform::CFileLock outLock(theirs);
  return edit->edit.Write(target, outLock, told, pFailure);
}

}  // namespace

extern "C" {

int mocf_edit_open(mocf_edit** out, const char* mocf_path, unsigned flags) {
  if (!mocf_path || (flags & ~MOCF_FRESH))
    return api::Guarded([] { return api::Fail(MOCF_EARG, "a MOCF and no flag but MOCF_FRESH\n"); });
  return Open(out, [&](mocf_edit* edit, Failure_t* pFailure) {
    edit->named = mocf_path;
    edit->path = Utf8Of(fs::absolute(Utf8Path(mocf_path)));
    edit->lock = std::make_unique<platform::CFileLock>(ResolveLinks(edit->path));
    if (flags & MOCF_FRESH) return edit->edit.OpenEmpty(edit->path), true;
    return edit->edit.Open(edit->path, edit->named, pFailure);
  });
}

int mocf_edit_open_memory(mocf_edit** out, const void* data, size_t size, const char* name) {
  if (!data && size)
    return api::Guarded([] { return api::Fail(MOCF_EARG, "bytes, or none at all\n"); });
  return Open(out, [&](mocf_edit* edit, Failure_t* pFailure) {
    edit->named = name ? name : "(memory)";
    static const unsigned char kNone = 0;
    return edit->edit.OpenMemory(data ? static_cast<const unsigned char*>(data) : &kNone, size,
                                 edit->named, pFailure);
  });
}

void mocf_edit_discard(mocf_edit* edit) { delete edit; }

int mocf_edit_record_count(const mocf_edit* edit) { return edit ? edit->edit.RecordCount() : 0; }

int mocf_edit_remove(mocf_edit* edit, const char* selector) {
  return OnEdit(edit, selector, [&](Failure_t* f) { return edit->edit.Remove(selector, f); });
}

int mocf_edit_add(mocf_edit* edit, const char* run, int at, const char* name) {
  return OnEdit(edit, run, [&](Failure_t* f) {
    mocfedit::EditInput_t input;
    return RunInput(run, &input, f) && edit->edit.Add(input, {at, name ? name : ""}, f);
  });
}

int mocf_edit_replace(mocf_edit* edit, const char* selector, const char* run, int at,
                      const char* name) {
  return OnEdit(edit, selector && run, [&](Failure_t* f) {
    mocfedit::EditInput_t input;
    return RunInput(run, &input, f) && edit->edit.Replace(selector, input, {at, name ? name : ""}, f);
  });
}

int mocf_edit_add_input(mocf_edit* edit, const mocf_input* input, int at) {
  return OnEdit(edit, input && input->type && (input->data || !input->size), [&](Failure_t* f) {
    mocfedit::EditInput_t made;
    return MemoryInput(*input, LandsFirst(edit, nullptr, at), &made, f) &&
           edit->edit.Add(made, {at, ""}, f);
  });
}

int mocf_edit_replace_input(mocf_edit* edit, const char* selector, const mocf_input* input,
                            int at) {
  const bool given = selector && input && input->type && (input->data || !input->size);
  return OnEdit(edit, given, [&](Failure_t* f) {
    mocfedit::EditInput_t made;
    return MemoryInput(*input, LandsFirst(edit, selector, at), &made, f) &&
           edit->edit.Replace(selector, made, {at, ""}, f);
  });
}

int mocf_edit_set(mocf_edit* edit, const char* selector, const char* key, const char* value) {
  return OnEdit(edit, selector && key && value,
                [&](Failure_t* f) { return edit->edit.Set(selector, key, value, f); });
}

int mocf_edit_unset(mocf_edit* edit, const char* selector, const char* key) {
  return OnEdit(edit, selector && key, [&](Failure_t* f) { return edit->edit.Unset(selector, key, f); });
}

int mocf_edit_check(mocf_edit* edit) {
  return OnEdit(edit, true, [&](Failure_t* f) { return edit->edit.Check(f); });
}

int mocf_edit_render(mocf_edit* edit, unsigned char** data, uint64_t* size) {
  if (data) *data = nullptr;
  return OnEdit(edit, data && size, [&](Failure_t* f) {
    std::vector<unsigned char> image;
    if (!edit->edit.Check(f) || !edit->edit.Render(&image, f)) return false;
    *data = static_cast<unsigned char*>(std::malloc(image.size() ? image.size() : 1));
    if (!*data) throw std::bad_alloc();
    std::copy(image.begin(), image.end(), *data);
    *size = image.size();
    return true;
  });
}

int mocf_edit_commit(mocf_edit* edit, const char* out_path, mocf_progress_fn progress,
                     void* context) {
  const int code = OnEdit(edit, out_path || (edit && !edit->path.empty()), [&](Failure_t* f) {
    const std::string target = out_path ? Utf8Of(fs::absolute(Utf8Path(out_path))) : edit->path;
    if (!edit->edit.Check(f)) return false;
    if (Write(edit, target, progress, context, f)) {
      api::Warn(platform::StaleSignatureWarning("mocfedit", out_path ? out_path : edit->named));
      return true;
    }
    if (f->Status == 0)
      *f = {0, 0, "", false,
            "could not write " + (out_path ? std::string(out_path) : edit->named) +
                " (a write failed, or an input changed while it was read); " +
                (out_path ? "nothing was written\n" : "it is as it was\n")};
    return false;
  });
  // The edit is spent once its result stands, and its lock goes with it.
  if (code == MOCF_OK) {
    edit->committed = true;
    edit->lock.reset();
  }
  return code;
}

}  // extern "C"
