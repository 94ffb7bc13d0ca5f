/* mocf-list MOCF: one line per record, "NUMBER TAG LENGTH KIND", then the
 * verdict as the status: 0 valid, 1 not valid (the reason on stderr),
 * 2 unreadable or wrong usage. */
#include <inttypes.h>
#include <stdio.h>

#include <mocf/mocf.h>

int main(int argc, char **argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: mocf-list MOCF\n");
    return 2;
  }
  mocf_file *file;
  if (mocf_open(&file, argv[1]) != MOCF_OK) {
    /* The library's messages end with a newline, as the programs print them. */
    fputs(mocf_error_last()->message, stderr);
    return 2;
  }
  /* An invalid MOCF is listed too: its records are what the walk finds. */
  int status = 0;
  const int count = mocf_record_count(file);
  for (int number = 1; number <= count && status == 0; ++number) {
    mocf_record record;
    if (mocf_record_get(file, number, &record) != MOCF_OK) {
      fputs(mocf_error_last()->message, stderr);
      status = 2;
    } else {
      printf("%d 0x%08" PRIX32 " %" PRIu32 " %s\n", record.number, record.tag, record.length,
             record.kind);
    }
  }
  if (status == 0 && mocf_check(file) != MOCF_OK) {
    fputs(mocf_error_last()->message, stderr);
    status = 1;
  }
  mocf_close(file);
  if (fflush(stdout) != 0) {
    perror("mocf-list: standard output");
    status = 2;
  }
  return status;
}
