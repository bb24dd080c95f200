// peak_memory PROGRAM [ARGUMENTS...]: runs PROGRAM with this process's
// standard streams, then prints "peak_kb N" (its peak resident memory) on
// standard error and exits with its exit status. A separate small program,
// because a child's peak memory counts the memory of the process it was
// forked from: measured from a test process, it would be the test's.
#include <stdio.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: %s PROGRAM [ARGUMENTS...]\n", argv[0]);
    return 2;
  }
  const pid_t child = fork();
  if (child == 0) {
    execv(argv[1], argv + 1);
    _exit(127);
  }
  int status = 0;
  struct rusage usage;
  if (child < 0 || wait4(child, &status, 0, &usage) != child) return 126;
  fprintf(stderr, "peak_kb %ld\n", usage.ru_maxrss);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 125;
}
