/* The baseline backend of CupsBench: reads the job's data and drops it, as fast as a backend
   can take a job. */
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

int main(int argc, char** argv) {
  if (argc == 1) {
    puts("direct null \"Unknown\" \"Null backend\"");
    return 0;
  }
  int in = argc > 6 ? open(argv[6], O_RDONLY) : 0;
  if (in < 0) return 1;
  char buffer[65536];
  ssize_t got;
  while ((got = read(in, buffer, sizeof buffer)) > 0) {
  }
  return got < 0 ? 1 : 0;
}
