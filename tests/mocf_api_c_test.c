/* libmocf from plain C99: the header compiles as C and the calls link and
 * run. Builds the example from its list (argv[1]) into argv[2] and reads
 * its last record; exits 1 at the first thing that is not as the example's
 * inputs make it. What each record holds is read through the same calls
 * by mocf_api_test.cpp and mocf_python_test.py. */
#include <mocf/mocf.h>
#include <stdio.h>
#include <string.h>

int main(int argc, char **argv) {
  mocf_file *file = NULL;
  mocf_record record = {0, 0, 0, 0, "", 0};
  int ok = argc == 3 && mocf_build(argv[1], argv[2], MOCF_FRESH, NULL, NULL) == MOCF_OK &&
           mocf_open(&file, argv[2]) == MOCF_OK && mocf_check(file) == MOCF_OK &&
           mocf_record_count(file) == 8 && mocf_record_get(file, 8, &record) == MOCF_OK &&
           strcmp(record.kind, "custom defaults") == 0;
  if (!ok) fprintf(stderr, "not as the example makes it: %s\n", mocf_error_last()->message);
  mocf_close(file);
  return ok ? 0 : 1;
}
