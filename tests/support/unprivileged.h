#pragma once

#include <grp.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace dova::testing {

// The mode that keeps a file from the process that runs the check: 0600 when the tests
// run as root (the check then runs as "nobody", who is not the owner), no rights at all
// otherwise (an owner without rights is refused too).
inline mode_t DeniedMode() {
  return geteuid() == 0 ? S_IRUSR | S_IWUSR : 0;
}

// Runs `check` in a forked child that has no right to override file permissions: root
// would open any file whatever its mode, so as root the child becomes the user "nobody"
// (65534) first. Returns what `check` returned (0 to 99), or -1 when the child could not
// be run that way. Files the check reads must be reachable by that user.
inline int RunUnprivileged(const std::function<int()>& check) {
  const pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    if (geteuid() == 0 &&
        (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) {
      _exit(100);
    }
    _exit(check());
  }
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  const int code = WEXITSTATUS(status);
  return code >= 100 ? -1 : code;
}

}  // namespace dova::testing
