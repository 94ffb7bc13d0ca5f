/* libmocf from plain C99: the header compiles as C and the calls link and
 * run. Builds the example from its list (argv[1]) into argv[2] and walks
 * it; exits 1 at the first thing that is not as the example's inputs make
 * it. What each record holds is read through the same calls by
 * mocf_api_test.cpp and mocf_python_test.py. */
#include <mocf/mocf.h>
#include <stdio.h>

int main(int argc, char **argv) {
  mocf_file *file = NULL;
  int ok = argc == 3 && mocf_build(argv[1], argv[2], MOCF_FRESH, NULL, NULL) == MOCF_OK &&
           mocf_open(&file, argv[2]) == MOCF_OK && mocf_check(file) == MOCF_OK &&
           mocf_record_count(file) == 8;
  if (!ok) fprintf(stderr, "not as the example makes it: %s\n", mocf_error_last()->message);
  mocf_close(file);
  /* Then edited in place; a refused edit leaves the edit going on. */
  if (ok) {
    mocf_edit *edit = NULL;
    mocf_input notes = {"user", "hi\n", 3, "notes.txt", NULL, NULL};
    ok = mocf_edit_open(&edit, argv[2], 0) == MOCF_OK &&
         mocf_edit_remove(edit, "user:none") == MOCF_EFAILED && mocf_error_last()->status == 2 &&
         mocf_edit_add_input(edit, &notes, 0) == MOCF_OK &&
         mocf_edit_set(edit, "MenuSettings", "Audio.Volume", "7") == MOCF_OK &&
         mocf_edit_commit(edit, NULL, NULL, NULL) == MOCF_OK && mocf_edit_record_count(edit) == 9;
    if (!ok) fprintf(stderr, "not edited: %s\n", mocf_error_last()->message);
    mocf_edit_discard(edit);
  }
  return ok ? 0 : 1;
}
