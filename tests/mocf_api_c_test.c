/* libmocf from plain C99: builds the example from its list (argv[1]) into
 * argv[2], then walks its records. Exits 1 at the first thing that is not
 * as the example's inputs make it. What each record holds is read through
 * the same calls by mocf_api_test.cpp. */
#include <mocf/mocf.h>
#include <stdio.h>
#include <string.h>

#define CHECK(condition)                                                                         \
  if (!(condition))                                                                              \
    return fprintf(stderr, "%s:%d: not so: %s\n%s", __FILE__, __LINE__, #condition,              \
                   mocf_error_last()->message), 1

int main(int argc, char **argv) {
  static const char *const kinds[] = {"version", "hash", "compatible products", "user file",
                                      "firmware", "menu settings", "software keys",
                                      "custom defaults"};
  mocf_file *file = NULL;
  mocf_record record;
  const unsigned char *data;
  uint64_t length, end = 8;
  int n;

  CHECK(argc == 3);
  CHECK(mocf_build(argv[1], argv[2], MOCF_FRESH, NULL, NULL) == MOCF_OK);
  CHECK(mocf_open(&file, argv[2]) == MOCF_OK);
  CHECK(mocf_check(file) == MOCF_OK && mocf_valid(file) == 1 && mocf_reason(file) == NULL);
  CHECK(mocf_record_count(file) == 8);
  /* Each record starts where the one before ends, padded to four bytes. */
  for (n = 1; n <= 8; ++n) {
    CHECK(mocf_record_get(file, n, &record) == MOCF_OK);
    CHECK(record.number == n && record.offset == end && strcmp(record.kind, kinds[n - 1]) == 0);
    CHECK(mocf_record_data(file, n, MOCF_PART_RECORD, &data, &length) == MOCF_OK);
    CHECK(length == 8u + record.length);
    end = record.offset + 8 + (record.length + 3u) / 4 * 4;
  }
  CHECK(end == mocf_size(file));
  CHECK(mocf_record_get(file, 9, &record) == MOCF_ENOTFOUND);
  CHECK(mocf_error_last()->code == MOCF_ENOTFOUND && mocf_error_last()->message[0] != '\0');
  mocf_close(file);
  return 0;
}
