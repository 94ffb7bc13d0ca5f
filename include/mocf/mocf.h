/*
 * libmocf: read, verify, build and change MOCF files.
 *
 * The whole C API is this header. Every call that can fail returns 0 or a
 * negative MOCF_E* code and leaves the reason, in the words the mocftool,
 * mocfbuild and mocfinfo programs print, in a per-thread last error
 * (mocf_error_last). A call that succeeds may leave a warning there, code
 * and status 0: mocf_build, mocf_append and mocf_edit_commit do when the
 * MOCF they replaced has a signature beside it (its path plus ".sig", as
 * mocfsign writes it), which then no longer matches, in the words the
 * program prints on standard error; a call that succeeds without one leaves
 * the message "". No call lets a C++ exception out.
 *
 * Ownership: a mocf_file is the caller's, from mocf_open* to mocf_close.
 * One mocf_file is used by one thread at a time (it keeps where its last
 * walk got to); different files may be used by different threads at once.
 * Pointers that a call hands out into a file's bytes stay valid until that
 * file is closed; strings the library allocates are freed with mocf_free.
 *
 * Stability: every declaration below is stable within major version 1:
 * it keeps its meaning and its binary interface; new calls and new fields
 * at the end of mocf_error may be added.
 */
#ifndef MOCF_MOCF_H
#define MOCF_MOCF_H

#include <stddef.h>
#include <stdint.h>

#define MOCF_VERSION_MAJOR 1
#define MOCF_VERSION_MINOR 0
#define MOCF_VERSION_PATCH 0
#define MOCF_VERSION "1.0.0"
/* MAJOR * 10000 + MINOR * 100 + PATCH, for comparing. */
#define MOCF_VERSION_NUMBER 10000

#if defined(_WIN32) && !defined(MOCF_STATIC)
#if defined(MOCF_BUILDING)
#define MOCF_API __declspec(dllexport)
#else
#define MOCF_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define MOCF_API __attribute__((visibility("default")))
#else
#define MOCF_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Return codes. */
#define MOCF_OK 0
#define MOCF_EARG (-1)      /* a call's own argument is wrong (a null pointer, an unknown flag) */
#define MOCF_EIO (-2)       /* a file cannot be read or written; the message has the system's words */
#define MOCF_EINVALID (-3)  /* the MOCF breaks a rule (mocf_check) */
#define MOCF_ENOTFOUND (-4) /* no such record, or the record holds no such field */
#define MOCF_EREFUSED (-5)  /* a run's arguments are refused (the program's status 1) */
#define MOCF_EFAILED (-6)   /* a run failed; nothing was written (the program's status 2) */
#define MOCF_ENOTEXACT (-7) /* unpacked, but the inputs do not rebuild the MOCF byte for byte */
#define MOCF_ENOMEM (-8)    /* memory ran out */
#define MOCF_EINTERNAL (-9) /* an unexpected error inside the library */
#define MOCF_ENOTVERIFIED (-10) /* a signature does not verify (mocfsign --verify's status 1) */

typedef struct mocf_error {
  int code;            /* the code the failing call returned, or 0 */
  int status;          /* the exit status the program would give (1 or 2), or 0 */
  int line;            /* the list line of the run a build refused, or 0 */
  const char *message; /* "" when nothing failed or warns; lines end with "\n" */
} mocf_error;

/* The last failure, or warning, of a call on this thread; never NULL.
 * Valid until the next call on this thread. */
MOCF_API const mocf_error *mocf_error_last(void);
MOCF_API void mocf_error_clear(void);

/* The library's version, "1.0.0", as the macros give at build time. */
MOCF_API const char *mocf_version(void);
MOCF_API int mocf_version_number(void);

/* Frees what the library allocated for the caller. NULL is fine. */
MOCF_API void mocf_free(void *p);

/* ---- Reading ---------------------------------------------------------- */

typedef struct mocf_file mocf_file;

/* Opens a MOCF to read. A regular file is read in place (mapped), so a
 * large one costs little memory; anything else is read whole. Any bytes
 * open: whether they are a valid MOCF is the verdict's business. Should
 * another program cut the file short while it is open, reading the lost
 * bytes ends the process (SIGBUS): keep MOCFs being rewritten by the
 * programs, which replace rather than cut them. */
MOCF_API int mocf_open(mocf_file **out, const char *path);
/* The same over a copy of size bytes at data; name stands for the file in
 * messages (NULL: "(memory)"). */
MOCF_API int mocf_open_memory(mocf_file **out, const void *data, size_t size, const char *name);
MOCF_API void mocf_close(mocf_file *file);

MOCF_API uint64_t mocf_size(const mocf_file *file);
/* All of its bytes, in place: valid until the file is closed. A record's
 * bytes lie at its offset within them. */
MOCF_API int mocf_bytes(const mocf_file *file, const unsigned char **data, uint64_t *size);
/* 1 when the MOCF is valid (mocftool would append to it), 0 when not. */
MOCF_API int mocf_valid(const mocf_file *file);
/* Why it is not valid, as mocfinfo says it; NULL when valid. */
MOCF_API const char *mocf_reason(const mocf_file *file);
/* 0 when valid; MOCF_EINVALID with the reason as the last error. */
MOCF_API int mocf_check(const mocf_file *file);
/* Why the walk over the records stopped before the container's end, or
 * NULL when it reached the end. */
MOCF_API const char *mocf_walk_stop(const mocf_file *file);
/* The number of records the walk finds. */
MOCF_API int mocf_record_count(const mocf_file *file);

typedef struct mocf_record {
  int number;       /* from 1, in file order */
  uint64_t offset;  /* of its header, from the start of the file */
  uint32_t tag;
  uint32_t length;  /* of its value, without header and padding */
  const char *kind; /* the listing's word: "user file", "firmware", ... */
  int read;         /* 0 for a version, hash or product-list record after
                       the first of its tag: no check reads it */
} mocf_record;

/* Record number (from 1). Sequential and nearby numbers are cheap. */
MOCF_API int mocf_record_get(mocf_file *file, int number, mocf_record *out);
/* The listing's line for it, after the kind word ("" when it shows
 * nothing); free with mocf_free. */
MOCF_API int mocf_record_description(mocf_file *file, int number, char **out);

/* Which bytes of a record. */
#define MOCF_PART_RECORD 0  /* header and value, no padding: an object file (mocfinfo --record) */
#define MOCF_PART_VALUE 1   /* the value */
#define MOCF_PART_CONTENT 2 /* a user file's data, any other record's value (mocfinfo --extract) */

/* Where the bytes lie, in place: valid until the file is closed. */
MOCF_API int mocf_record_data(mocf_file *file, int number, int part, const unsigned char **data,
                              uint64_t *size);
/* Up to capacity bytes from offset within them into buffer; *copied says
 * how many (0 at the end). */
MOCF_API int mocf_record_read(mocf_file *file, int number, int part, uint64_t offset,
                              void *buffer, size_t capacity, size_t *copied);
/* Into a file, replaced whole and durably, as mocfinfo -o writes it. */
MOCF_API int mocf_record_save(mocf_file *file, int number, int part, const char *path);

/* Typed fields. Texts point into the file and are not NUL-terminated;
 * MOCF_ENOTFOUND when the record is of another kind or lacks the field.
 * Where a call gives two fields, pass NULL for both places of one to ask
 * for the other alone: a damaged record still gives the field it holds. */
/* A user file: its stored name and its bytes. */
MOCF_API int mocf_user_file(mocf_file *file, int number, const char **name, size_t *name_size,
                            const unsigned char **data, uint64_t *size);
/* Menu settings, software keys, custom defaults: the text. */
MOCF_API int mocf_text(mocf_file *file, int number, const char **text, size_t *size);
/* Software keys: the part number (--PartNum), the text after its last
 * ";FIMPNM" up to the '.' that closes the text. */
MOCF_API int mocf_part_number(mocf_file *file, int number, const char **text, size_t *size);
/* Compatible products or a firmware record's products: *count is their
 * number; the first min(count, capacity) go into products. */
MOCF_API int mocf_products(mocf_file *file, int number, uint32_t *products, size_t capacity,
                           size_t *count);
/* A firmware record: its software version text and its data. */
MOCF_API int mocf_firmware(mocf_file *file, int number, const char **software,
                           size_t *software_size, const unsigned char **data, uint64_t *size);

/* Unpacks into folder (created, or empty) a list and the inputs that
 * rebuild the MOCF with mocfbuild -d, as mocfinfo --unpack does. 0 when
 * they rebuild it byte for byte; MOCF_ENOTEXACT, the reasons as the last
 * error, when they do not; MOCF_EIO when the folder cannot be written. */
MOCF_API int mocf_unpack(mocf_file *file, const char *folder);

/* ---- Comparing -------------------------------------------------------- */

/* What changed from the MOCF at old_path to the one at new_path, as
 * mocfinfo --diff --json prints it: *json (free with mocf_free) is that
 * object, and *same is 1 when both hold the same records, 0 when not.
 * MOCF_EIO when a file cannot be read, MOCF_EINVALID when one is no MOCF
 * container at all; an invalid MOCF whose records can be walked compares. */
MOCF_API int mocf_diff(const char *old_path, const char *new_path, int *same, char **json);

/* ---- Writing ---------------------------------------------------------- */
/* Build and append hold the MOCF's lock as the programs do, write beside
 * it and replace it durably, or leave it as it was. Operations on
 * different MOCFs run at once on different threads; two on the same MOCF
 * take turns, as two processes do. The process's working folder is never
 * changed: a list's relative paths are read from the list's folder. */

#define MOCF_FRESH 1u /* start the MOCF afresh: mocfbuild -d, mocftool -d */

/* Told how far a build is: while reading the list, the line reached and
 * total 0; while writing, the bytes written of total and their line. It
 * runs inside the build, which holds the MOCF's lock: it may use the
 * library for other MOCFs, but must not build, append or unpack into this
 * one (it would wait for itself), and must not throw. */
typedef void (*mocf_progress_fn)(void *context, int line, uint64_t written, uint64_t total);

/* mocfbuild [-d] -m mocf_path list_path. On a refusal the last error holds
 * what mocfbuild prints ("LIST:N: ..."), its status and the line. */
MOCF_API int mocf_build(const char *list_path, const char *mocf_path, unsigned flags,
                        mocf_progress_fn progress, void *context);

/* One mocftool run: appends one record built from input_path (NULL for
 * software keys given by part_number alone), of type
 * (a -t or --type word: "user", "CompatProd", "MenuSettings", ...), with
 * part_number (--PartNum) and tag (--tag, as text) when not NULL. On a
 * refusal the last error holds what mocftool prints on standard output
 * (its usage text aside), then the reasons it gives on standard error. */
MOCF_API int mocf_append(const char *mocf_path, const char *input_path, const char *type,
                         unsigned flags, const char *part_number, const char *tag);

/* ---- Editing --------------------------------------------------------- */
/* A MOCF changed as mocfedit changes it: records removed, replaced, added
 * anywhere after the version and hash records, settings set and unset.
 * Each call is all or nothing: refused, it leaves the edit as it was, and
 * the edit goes on. Nothing is written before mocf_edit_commit, which
 * checks the result first. Refusals are MOCF_EREFUSED (mocfedit's status
 * 1: the arguments are wrong) or MOCF_EFAILED (status 2: the MOCF refuses),
 * in mocfedit's words; a failed write is MOCF_EIO. One edit is used by one
 * thread at a time. */

typedef struct mocf_edit mocf_edit;

/* Opens the MOCF at path to edit, as mocfedit -m loads it (refused with
 * MOCF_EFAILED and the reason when unreadable, invalid or its digest does
 * not match); with MOCF_FRESH, an empty MOCF whose first record added must
 * be the product list. The edit holds the MOCF's lock until it is
 * committed or discarded: other writers of that MOCF wait meanwhile, so a
 * thread holding an edit must not build or append to that MOCF itself. */
MOCF_API int mocf_edit_open(mocf_edit **out, const char *mocf_path, unsigned flags);
/* The same over a copy of size bytes; name stands for it in messages
 * (NULL: "(memory)"). Nothing is locked, and commit needs an out_path. */
MOCF_API int mocf_edit_open_memory(mocf_edit **out, const void *data, size_t size,
                                   const char *name);
/* Frees it, after a commit too; NULL is fine. */
MOCF_API void mocf_edit_discard(mocf_edit *edit);
/* The records the result holds now, the version and hash records included. */
MOCF_API int mocf_edit_record_count(const mocf_edit *edit);

/* selector: as mocfedit takes it: "4", "MenuSettings", "user:s.txt#2",
 * "tag:0x70000001". */
MOCF_API int mocf_edit_remove(mocf_edit *edit, const char *selector);
/* run: one list line, "-f notes.txt -t user", its paths from the current
 * folder; at: 0 for the default place (last for an add, the replaced
 * record's for a replace), else the record number it becomes; name: a user
 * file's stored name, NULL for the default (as typed for an add, the
 * replaced record's for a replace). */
MOCF_API int mocf_edit_add(mocf_edit *edit, const char *run, int at, const char *name);
MOCF_API int mocf_edit_replace(mocf_edit *edit, const char *selector, const char *run, int at,
                               const char *name);

/* A new record's input from memory, read and refused as the run with the
 * same -t or --type, --PartNum and --tag would be. */
typedef struct mocf_input {
  const char *type;        /* a -t or --type word: "user", "binary", "object",
                              "MenuSettings", "SwKeys", "CustomDefaults", "CompatProd" */
  const void *data;        /* the input file's bytes; NULL for software keys without a file */
  size_t size;
  const char *name;        /* a user file's stored name; names the input in messages
                              otherwise (NULL: "(memory)") */
  const char *part_number; /* software keys (--PartNum), or NULL */
  const char *tag;         /* binary records (--tag, as text), or NULL */
} mocf_input;

MOCF_API int mocf_edit_add_input(mocf_edit *edit, const mocf_input *input, int at);
MOCF_API int mocf_edit_replace_input(mocf_edit *edit, const char *selector,
                                     const mocf_input *input, int at);
/* A setting of menu settings, custom defaults or software keys, as
 * mocfedit --set SEL KEY=VALUE and --unset SEL KEY. */
MOCF_API int mocf_edit_set(mocf_edit *edit, const char *selector, const char *key,
                           const char *value);
MOCF_API int mocf_edit_unset(mocf_edit *edit, const char *selector, const char *key);

/* 0 when the result is a MOCF the programs would write; MOCF_EFAILED with
 * the rule it breaks. */
MOCF_API int mocf_edit_check(mocf_edit *edit);
/* The result's bytes (free with mocf_free), after the check. */
MOCF_API int mocf_edit_render(mocf_edit *edit, unsigned char **data, uint64_t *size);
/* Checks, then writes the result over out_path (NULL: the MOCF it was
 * opened from) durably, as mocfedit does: out_path is locked too, or the
 * file is left as it was. progress, when not NULL, is told the bytes
 * written, line 0, as mocf_build's is. The edit then takes no more calls
 * but mocf_edit_record_count and mocf_edit_discard. */
MOCF_API int mocf_edit_commit(mocf_edit *edit, const char *out_path, mocf_progress_fn progress,
                              void *context);

/* ---- Signatures ------------------------------------------------------ */
/* A detached signature beside a MOCF (MOCF.sig, a CMS SignedData), made and
 * verified as mocfsign makes and verifies it, refusals in its words. Only
 * the shared library of a build with OpenSSL's libcrypto has them: the
 * static library, and any build without it, refuse every call with
 * MOCF_EFAILED (status 2) and that reason, and never verify. Calls on
 * different MOCFs run at once on different threads. */

/* mocfsign -m mocf_path --key key --cert cert [--chain chain]
 * [--pass pass_source] [-o sig_path]: key is a PEM key file or a pkcs11:
 * URI, cert the signer's certificate (PEM), chain the certificates to carry
 * besides (PEM, or NULL), pass_source where the key's passphrase or the
 * token's PIN comes from ("env:VAR", "file:PATH", "fd:N", "stdin", or
 * NULL), sig_path NULL for mocf_path + ".sig". A signature already there
 * over the same bytes gains this signer and keeps the others. Refused, it
 * writes nothing and returns MOCF_EFAILED (status 2) with mocfsign's words.
 * A signature made all the same leaves what mocfsign warns of (a
 * certificate that expires within 30 days) in the last error, code 0. */
MOCF_API int mocf_sign(const char *mocf_path, const char *key, const char *cert,
                       const char *chain, const char *pass_source, const char *sig_path);

/* One signer's certificate and, from a verification, its verdict. The
 * texts are the library's, valid until its verification is freed; times
 * are "2026-12-10T08:00:00Z". */
typedef struct mocf_signer {
  const char *subject;      /* one line, as "CN=...,O=..." */
  const char *issuer;
  const char *serial;       /* hexadecimal */
  const char *key_type;     /* "ECDSA P-256", "RSA 3072" */
  const char *signing_time; /* the signed signing time; "" when none is signed */
  const char *not_before;   /* the certificate's validity */
  const char *not_after;
  int verified;             /* 1 when this signer verifies */
  const char *reason;       /* why it does not; "" when it does */
} mocf_signer;

/* A verification, as mocfsign --verify --json shows it. The caller's, from
 * mocf_verify_signature to mocf_verification_free; fields may be added at
 * its end. */
typedef struct mocf_verification {
  int status;                 /* mocfsign's: 0 verified, 1 does not verify, 2 not checked */
  int verified;               /* 1 when status is 0 */
  int signers_verified;       /* distinct signer certificates that verify */
  size_t signer_count;        /* the signers the signature holds, verdict each */
  const mocf_signer *signers;
  const char *reason;         /* why not, each line ending "\n"; "" when verified */
  int mocf_valid;             /* 1 when the MOCF itself is valid */
  const char *mocf_reason;    /* why it is not; "" when it is */
  int signature_found;        /* 1 when the signature file exists */
} mocf_verification;

#define MOCF_AT_SIGNING_TIME 1u /* judge each certificate's validity at its signing time */

/* mocfsign --verify -m mocf_path [--sig sig_path] --trust trust_path
 * [--signers signers] [--at-signing-time]: sig_path NULL for mocf_path +
 * ".sig"; trust_path the PEM certificates each signer must chain to in
 * full; signers (1 or more) the distinct signer certificates that must
 * verify. 0 when it verifies; MOCF_ENOTVERIFIED (status 1) when it does
 * not (too few signers verify, the MOCF is invalid, there is no
 * signature); MOCF_EIO (status 2) when a file cannot be read; MOCF_EFAILED
 * (status 2) without signature support. Each of these fills in *out, every
 * signer's verdict in it, and leaves the reason as the last error; free it
 * with mocf_verification_free. Only a wrong argument (MOCF_EARG) or memory
 * running out leaves *out NULL. */
MOCF_API int mocf_verify_signature(const char *mocf_path, const char *sig_path,
                                   const char *trust_path, int signers, unsigned flags,
                                   mocf_verification **out);
/* NULL is fine. */
MOCF_API void mocf_verification_free(mocf_verification *verification);

#ifdef __cplusplus
}
#endif

#endif /* MOCF_MOCF_H */
