/* libmocf from plain C99: builds the example from its list (argv[1]) into
 * argv[2], then walks its records. Exits 1 at the first thing that is not
 * as the example's inputs make it. */
#include <mocf/mocf.h>
#include <stdio.h>
#include <string.h>

#define CHECK(condition)                                                        \
  do {                                                                          \
    if (!(condition)) {                                                         \
      fprintf(stderr, "%s:%d: not so: %s\n%s", __FILE__, __LINE__, #condition, \
              mocf_error_last()->message);                                      \
      return 1;                                                                 \
    }                                                                           \
  } while (0)

static int Same(const char *text, size_t size, const char *want) {
  return size == strlen(want) && memcmp(text, want, size) == 0;
}

int main(int argc, char **argv) {
  static const char *const kinds[] = {"version",       "hash",         "compatible products",
                                      "user file",     "firmware",     "menu settings",
                                      "software keys", "custom defaults"};
  mocf_file *file = NULL;
  mocf_record record;
  const char *text;
  const unsigned char *data;
  size_t size, count;
  uint64_t length, end = 8;
  uint32_t products[2];
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
  CHECK(mocf_user_file(file, 4, &text, &size, &data, &length) == MOCF_OK);
  CHECK(Same(text, size, "welcome.txt") && length == 63);
  CHECK(mocf_part_number(file, 7, &text, &size) == MOCF_OK && Same(text, size, "0400-1234"));
  CHECK(mocf_products(file, 3, products, 2, &count) == MOCF_OK && count == 2);
  CHECK(products[0] == 6699 && products[1] == 4100);
  CHECK(mocf_record_get(file, 9, &record) == MOCF_ENOTFOUND);
  CHECK(mocf_error_last()->code == MOCF_ENOTFOUND && mocf_error_last()->message[0] != '\0');
  mocf_close(file);
  return 0;
}
