#include "tests/ui/GuiTestSupport.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace guitest {

long NowMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000L + ts.tv_nsec / 1000000L;
}

namespace {

// Reads what is there on fd into buf, waiting at most ms for the first bytes.
// Returns false at end of file.
bool Fill(int fd, std::string& buf, int ms) {
  if (fd < 0) return false;
  pollfd p{fd, POLLIN, 0};
  if (::poll(&p, 1, ms < 0 ? 0 : ms) <= 0) return true;
  char chunk[4096];
  ssize_t n = ::read(fd, chunk, sizeof chunk);
  if (n == 0) return false;
  if (n > 0) buf.append(chunk, static_cast<size_t>(n));
  return true;
}

std::string Quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

}  // namespace

// ---- TChild ----------------------------------------------------------------

bool TChild::Start(const std::vector<std::string>& Argv, const std::vector<std::string>& Env) {
  support::TLaunch launch;
  launch.Argv = Argv;
  launch.Env = Env;
  launch.Stdin = launch.Stdout = launch.Stderr = support::TLaunch::kPipe;
  FOutBuf.clear();
  FErrBuf.clear();
  return FProcess.Start(launch);
}

bool TChild::ReadLine(std::string& Line, int TimeoutMs) {
  long end = NowMs() + TimeoutMs;
  for (;;) {
    size_t nl = FOutBuf.find('\n');
    if (nl != std::string::npos) {
      Line = FOutBuf.substr(0, nl);
      FOutBuf.erase(0, nl + 1);
      return true;
    }
    long left = end - NowMs();
    if (left <= 0) return false;
    if (!Fill(FProcess.Out(), FOutBuf, static_cast<int>(left))) {
      FProcess.CloseOut();
      if (FOutBuf.find('\n') == std::string::npos) return false;
    }
  }
}

std::string TChild::WaitFor(const std::string& Prefix, int TimeoutMs) {
  long end = NowMs() + TimeoutMs;
  std::string line;
  while (ReadLine(line, static_cast<int>(std::max(0L, end - NowMs()))))
    if (line.compare(0, Prefix.size(), Prefix) == 0) return line;
  return "";
}

std::string TChild::Stderr(const std::string& Text, int TimeoutMs) {
  long end = NowMs() + TimeoutMs;
  while (FProcess.Err() >= 0 && (Text.empty() || FErrBuf.find(Text) == std::string::npos)) {
    long left = end - NowMs();
    size_t before = FErrBuf.size();
    if (!Fill(FProcess.Err(), FErrBuf, static_cast<int>(left > 0 ? left : 0))) {
      FProcess.CloseErr();
    } else if (FErrBuf.size() == before && left <= 0) {
      break;
    }
  }
  return FErrBuf;
}

bool TChild::Write(const std::string& Text) {
  return FProcess.In() >= 0 &&
         ::write(FProcess.In(), Text.data(), Text.size()) == static_cast<ssize_t>(Text.size());
}

int TChild::Wait(int TimeoutMs) {
  if (FProcess.Pid() <= 0) return -1;
  long end = NowMs() + TimeoutMs;
  for (;;) {
    int status = FProcess.WaitStatus(0);
    if (status != -1) return status;
    if (NowMs() >= end) {
      FProcess.Signal(SIGKILL);
      FProcess.WaitStatus(-1);
      return -1;
    }
    // Keep the pipes drained so the child cannot block on a full one.
    Fill(FProcess.Err(), FErrBuf, 0);
    Fill(FProcess.Out(), FOutBuf, 20);
  }
}

long TChild::CpuTicks() const {
  std::ifstream stat("/proc/" + std::to_string(FProcess.Pid()) + "/stat");
  std::string content((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  size_t close = content.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream rest(content.substr(close + 2));
  std::string field;
  long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && rest >> field; ++i) {
    if (i == 14) utime = std::atol(field.c_str());
    if (i == 15) stime = std::atol(field.c_str());
  }
  return utime + stime;
}

bool TChild::WaitIdle(long MaxTicks, int WindowMs, int TimeoutMs) const {
  long end = NowMs() + TimeoutMs;
  do {
    long before = CpuTicks();
    ::usleep(static_cast<useconds_t>(WindowMs) * 1000);
    if (before >= 0 && CpuTicks() - before <= MaxTicks) return true;
  } while (NowMs() < end);
  return false;
}

// ---- TXServer --------------------------------------------------------------

bool TXServer::Available() {
  return ::access("/usr/bin/Xvfb", X_OK) == 0 && Run("command -v xdotool") != "";
}

bool TXServer::Start(int Width, int Height, std::string* Error) {
  for (int n = 90 + static_cast<int>(::getpid() % 200); n < 1000; ++n) {
    std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
    std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
    if (::access(lock.c_str(), F_OK) == 0 || ::access(socket.c_str(), F_OK) == 0) continue;
    FDisplay = ":" + std::to_string(n);
    support::TLaunch launch;
    launch.Argv = {"/usr/bin/Xvfb",
                   FDisplay,
                   "-screen",
                   "0",
                   std::to_string(Width) + "x" + std::to_string(Height) + "x24",
                   "-nolisten",
                   "tcp",
                   "-br",
                   "-noreset"};
    launch.Stdin = support::TLaunch::kInherit;
    launch.Stderr = "/dev/null";
    if (!FProcess.Start(launch)) break;
    // Ready when a client can connect; a server that lost the race for the number
    // ends. A loaded machine may take long to start it.
    for (long end = NowMs() + 30000; NowMs() < end;) {
      if (!FProcess.Running()) break;
      int rc = 0;
      Run("xdpyinfo -display " + FDisplay + " >/dev/null 2>&1", &rc);
      if (rc == 0) return true;
      ::usleep(100 * 1000);
    }
    Stop();
  }
  if (Error) *Error = "could not start Xvfb";
  return false;
}

void TXServer::Stop() { FProcess.Stop(5000); }

// ---- helpers ---------------------------------------------------------------

std::string Run(const std::string& Command, int* Status) {
  std::string out;
  FILE* p = ::popen(("timeout 20 sh -c " + Quote(Command)).c_str(), "r");
  if (!p) {
    if (Status) *Status = -1;
    return out;
  }
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  int rc = ::pclose(p);
  if (Status) *Status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

bool Near(TImage::Pixel P, int R, int G, int B, int Tolerance) {
  return std::abs(P.r - R) <= Tolerance && std::abs(P.g - G) <= Tolerance &&
         std::abs(P.b - B) <= Tolerance;
}

TImage::Pixel TImage::At(int x, int y) const {
  if (x < 0 || y < 0 || x >= Width || y >= Height) return {-1, -1, -1};
  size_t i = (static_cast<size_t>(y) * static_cast<size_t>(Width) + static_cast<size_t>(x)) * 3;
  return {Rgb[i], Rgb[i + 1], Rgb[i + 2]};
}

bool Screenshot(const std::string& Display, TImage& Image) {
  char path[] = "/tmp/vorlanx-shot-XXXXXX";
  int fd = ::mkstemp(path);
  if (fd < 0) return false;
  ::close(fd);
  std::string ppm = std::string(path) + ".ppm";
  int rc = 0;
  Run("xwd -root -silent -display " + Display + " | convert xwd:- " + ppm, &rc);
  ::unlink(path);
  std::ifstream in(ppm, std::ios::binary);
  // Header fields, each possibly preceded by "#" comment lines.
  auto field = [&in]() {
    std::string token;
    while (in >> token && token[0] == '#') std::getline(in, token);
    return token;
  };
  std::string magic = field();
  Image.Width = std::atoi(field().c_str());
  Image.Height = std::atoi(field().c_str());
  int maxval = std::atoi(field().c_str());
  in.get();
  bool ok = rc == 0 && magic == "P6" && maxval == 255 && Image.Width > 0 && Image.Height > 0;
  if (ok) {
    Image.Rgb.resize(static_cast<size_t>(Image.Width) * static_cast<size_t>(Image.Height) * 3);
    in.read(reinterpret_cast<char*>(Image.Rgb.data()),
            static_cast<std::streamsize>(Image.Rgb.size()));
    ok = static_cast<size_t>(in.gcount()) == Image.Rgb.size();
  }
  ::unlink(ppm.c_str());
  return ok;
}

std::string Xdotool(const std::string& Display, const std::string& Args, int* Status) {
  return Run("DISPLAY=" + Display + " xdotool " + Args, Status);
}

std::string FindPopup(const std::string& Display, int TimeoutMs) {
  long end = NowMs() + TimeoutMs;
  do {
    std::istringstream ids(Xdotool(Display, "search --onlyvisible --name '^$' 2>/dev/null"));
    for (std::string id; ids >> id;) {
      TGeometry g;
      // The root window has no name either; it is as large as the screen, at 0,0.
      if (WindowGeometry(Display, id, g) && g.w > 1 && g.h > 1 && (g.x != 0 || g.y != 0)) return id;
    }
    ::usleep(50 * 1000);
  } while (NowMs() < end);
  return "";
}

bool WindowGone(const std::string& Display, const std::string& NamePattern, int TimeoutMs) {
  long end = NowMs() + TimeoutMs;
  for (;;) {
    if (Xdotool(Display, "search --onlyvisible --name " + Quote(NamePattern) + " 2>/dev/null")
            .empty())
      return true;
    if (NowMs() >= end) return false;
    ::usleep(50 * 1000);
  }
}

std::string FindWindow(const std::string& Display, const std::string& NamePattern, int TimeoutMs) {
  long end = NowMs() + TimeoutMs;
  do {
    std::string ids =
        Xdotool(Display, "search --onlyvisible --name " + Quote(NamePattern) + " 2>/dev/null");
    if (!ids.empty()) return ids.substr(0, ids.find('\n'));
    ::usleep(50 * 1000);
  } while (NowMs() < end);
  return "";
}

bool WindowGeometry(const std::string& Display, const std::string& Window, TGeometry& G) {
  std::string out = Xdotool(Display, "getwindowgeometry --shell " + Window);
  std::istringstream in(out);
  std::string line;
  int found = 0;
  while (std::getline(in, line)) {
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string k = line.substr(0, eq);
    int v = std::atoi(line.c_str() + eq + 1);
    if (k == "X") G.x = v, ++found;
    if (k == "Y") G.y = v, ++found;
    if (k == "WIDTH") G.w = v, ++found;
    if (k == "HEIGHT") G.h = v, ++found;
  }
  return found == 4;
}

}  // namespace guitest
