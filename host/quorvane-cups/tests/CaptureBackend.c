/* A CUPS backend for the tests: copies each job's data to $QV_CAPTURE_DIR/<job>-<user>-<title>.bin
   (written under a temporary name, then renamed), so a test sees a job only once it is whole. */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

int main(int argc, char** argv) {
  if (argc == 1) {
    puts("direct capture \"Unknown\" \"Test capture\"");
    return 0;
  }
  if (argc < 6) return 1;
  const char* dir = getenv("QV_CAPTURE_DIR");
  if (!dir) {
    fputs("ERROR: QV_CAPTURE_DIR is not set\n", stderr);
    return 4;
  }
  int in = argc > 6 ? open(argv[6], O_RDONLY) : 0;
  if (in < 0) return 1;
  char path[4096], temporary[4200];
  snprintf(path, sizeof path, "%s/%s-%s-%s.bin", dir, argv[1], argv[2], argv[3]);
  snprintf(temporary, sizeof temporary, "%s/.%s.part", dir, argv[1]);
  int out = open(temporary, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (out < 0) return 1;
  char buffer[65536];
  ssize_t got;
  while ((got = read(in, buffer, sizeof buffer)) > 0)
    if (write(out, buffer, (size_t)got) != got) return 1;
  if (got < 0 || close(out) != 0 || rename(temporary, path) != 0) return 1;
  return 0;
}
