// tavolin-start: hands a program to the system, for the library's detached starts.
//
//   tavolin-start <program file> <argument 0> <arguments>...
//
// Started by the library with a clean start (descriptors 0-2 only, no signal blocked, default
// dispositions, the program's working directory and environment), it starts the program with
// exactly that and ends at once. The program's parent is then gone, so the system adopts it and
// collects it when it ends: the library's process, a Java VM, has no child left to collect and
// keeps no thread for it. The exit status says whether the program started: 0 when it did, 1
// when it could not be (no such file, not a program the system can run), 2 for a wrong call.
#include <spawn.h>
#include <sys/types.h>

extern char** environ;

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  pid_t pid = -1;
  // posix_spawn reports a failed exec as its result, so a program that cannot run says so here.
  return ::posix_spawn(&pid, argv[1], nullptr, nullptr, argv + 2, environ) == 0 ? 0 : 1;
}
