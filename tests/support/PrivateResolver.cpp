#include "tests/support/PrivateResolver.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace testresolver {

namespace {

bool gReady = false;
std::string gError = "EnterPrivateResolver was not called";

bool Fail(const std::string& What) {
  gError = What + ": " + std::strerror(errno);
  return false;
}

bool WriteFile(const std::string& Path, const std::string& Text, int Flags = O_CREAT | O_TRUNC) {
  int fd = open(Path.c_str(), O_WRONLY | O_CLOEXEC | Flags, 0644);
  if (fd < 0) return false;
  bool ok = write(fd, Text.data(), Text.size()) == static_cast<ssize_t>(Text.size());
  close(fd);
  return ok;
}

bool EnterMountNamespace() {
  if (unshare(CLONE_NEWNS) == 0) return true;
  // Without root: become root of a new user namespace that maps our own ids.
  uid_t uid = getuid();
  gid_t gid = getgid();
  if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return false;
  WriteFile("/proc/self/setgroups", "deny", 0);
  return WriteFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1", 0) &&
         WriteFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1", 0);
}

// Lays File's text over Target. The file itself is removed at once: the mount
// keeps it alive for as long as the namespace lives.
bool Overlay(const std::string& Dir, const char* Target, const std::string& Text) {
  std::string file = Dir + "/" + std::strrchr(Target, '/');
  if (!WriteFile(file, Text)) return Fail("cannot write " + file);
  bool ok = mount(file.c_str(), Target, nullptr, MS_BIND, nullptr) == 0;
  int saved = errno;
  unlink(file.c_str());
  errno = saved;
  return ok || Fail(std::string("cannot bind a private file over ") + Target);
}

}  // namespace

bool EnterPrivateResolver(const std::string& Hosts) {
  if (gReady) return true;
  if (!EnterMountNamespace()) return Fail("no private mount namespace");
  // Keep our mounts from propagating back to the machine.
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
    return Fail("cannot make the mounts private");
  char dir[] = "/tmp/vx-resolver-XXXXXX";
  if (!mkdtemp(dir)) return Fail("mkdtemp");
  bool ok =
      Overlay(dir, "/etc/hosts", Hosts) &&
      Overlay(dir, "/etc/resolv.conf", "nameserver 127.0.0.1\noptions attempts:1 timeout:1\n") &&
      Overlay(dir, "/etc/nsswitch.conf", "hosts: files\nnetworks: files\n");
  rmdir(dir);
  if (!ok) return false;
  gReady = true;
  gError.clear();
  return true;
}

bool PrivateResolverReady() { return gReady; }
const std::string& PrivateResolverError() { return gError; }

}  // namespace testresolver
