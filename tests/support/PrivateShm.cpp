#include "tests/support/PrivateShm.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace testjack {
namespace {

bool gReady = false;
std::string gError = "EnterPrivateShm was not called";

bool WriteFile(const char* Path, const std::string& Text) {
  int fd = open(Path, O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = write(fd, Text.data(), Text.size()) == static_cast<ssize_t>(Text.size());
  close(fd);
  return ok;
}

// Without root: become root of a new user namespace that maps our own ids.
bool EnterUserNamespace() {
  uid_t uid = getuid();
  gid_t gid = getgid();
  if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return false;
  WriteFile("/proc/self/setgroups", "deny");
  return WriteFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") &&
         WriteFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1");
}

}  // namespace

bool EnterPrivateShm() {
  if (gReady) return true;
  if (unshare(CLONE_NEWNS) != 0 && !EnterUserNamespace()) {
    gError = std::string("no private mount namespace: ") + std::strerror(errno);
    return false;
  }
  // Keep our mounts from propagating back to the machine.
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
      mount("tmpfs", "/dev/shm", "tmpfs", MS_NOSUID | MS_NODEV, "mode=1777") != 0) {
    gError = std::string("cannot mount a private /dev/shm: ") + std::strerror(errno);
    return false;
  }
  gReady = true;
  gError.clear();
  return true;
}

bool PrivateShmReady() { return gReady; }
const std::string& PrivateShmError() { return gError; }

}  // namespace testjack
