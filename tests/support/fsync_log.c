// Loaded with LD_PRELOAD: appends the path of every descriptor that fsync or
// fdatasync is asked to flush to the file named by ULO_FSYNC_LOG, one line
// each, before flushing it. Lets a test see what `--sync` reaches.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

static void LogPath(int fd) {
  const char* log = getenv("ULO_FSYNC_LOG");
  char link[64], path[4096];
  if (log == NULL) return;
  snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  ssize_t n = readlink(link, path, sizeof path - 1);
  if (n < 0) return;
  path[n++] = '\n';
  // One append per line: the lines of processes syncing at once never mix.
  int out = open(log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (out < 0) return;
  if (write(out, path, (size_t)n) != n) abort();
  close(out);
}

int fsync(int fd) {
  LogPath(fd);
  return ((int (*)(int))dlsym(RTLD_NEXT, "fsync"))(fd);
}

int fdatasync(int fd) {
  LogPath(fd);
  return ((int (*)(int))dlsym(RTLD_NEXT, "fdatasync"))(fd);
}
