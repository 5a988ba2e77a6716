// For tests that run a program under a private X server and drive it with
// xdotool, or run it without one: a child process with pipes, a private Xvfb,
// shell commands with their output, screenshots.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/Process.h"

namespace guitest {

// A program started with its standard input, output and error on pipes.
class TChild {
 public:
  TChild() = default;
  TChild(const TChild&) = delete;
  TChild& operator=(const TChild&) = delete;

  // Env holds "NAME=value" to set and "NAME" to remove, over this process's environment.
  bool Start(const std::vector<std::string>& Argv, const std::vector<std::string>& Env = {});
  // The next line of standard output (without its end); false on timeout or end.
  bool ReadLine(std::string& Line, int TimeoutMs);
  // Reads lines until one starts with Prefix; returns it (empty on timeout).
  std::string WaitFor(const std::string& Prefix, int TimeoutMs);
  // Everything on standard error so far, after waiting at most TimeoutMs for Text to appear in it.
  std::string Stderr(const std::string& Text = "", int TimeoutMs = 0);
  bool Write(const std::string& Text);
  void Signal(int Sig) { FProcess.Signal(Sig); }
  // Waits for the end; returns the wait status, or -1 on timeout (the child is then killed).
  int Wait(int TimeoutMs);
  // CPU time (user + system) in clock ticks used so far.
  long CpuTicks() const;
  // Whether, within TimeoutMs, the child spends a whole WindowMs using at most
  // MaxTicks: start-up work and a loaded machine's delays may take a while to
  // pass, but a busy loop never does.
  bool WaitIdle(long MaxTicks = 3, int WindowMs = 500, int TimeoutMs = 10000) const;
  // -1 once it has been found ended.
  pid_t Pid() const { return FProcess.Pid(); }

 private:
  support::TProcess FProcess;
  std::string FOutBuf, FErrBuf;
};

// A private X server (Xvfb) on a free display number, stopped by its process id.
class TXServer {
 public:
  TXServer() = default;
  TXServer(const TXServer&) = delete;
  TXServer& operator=(const TXServer&) = delete;
  ~TXServer() { Stop(); }

  static bool Available();
  bool Start(int Width = 1024, int Height = 768, std::string* Error = nullptr);
  void Stop();
  // ":N"
  const std::string& Display() const { return FDisplay; }

 private:
  support::TProcess FProcess;
  std::string FDisplay;
};

// Runs a command line through /bin/sh (bounded by `timeout`), returns its output.
std::string Run(const std::string& Command, int* Status = nullptr);

struct TImage {
  int Width = 0, Height = 0;
  std::vector<uint8_t> Rgb;  // Width * Height * 3
  // {r, g, b} at x, y; {-1, -1, -1} outside.
  struct Pixel {
    int r, g, b;
  };
  Pixel At(int x, int y) const;
};

// Whether a pixel is within Tolerance of {R, G, B} in each channel.
bool Near(TImage::Pixel P, int R, int G, int B, int Tolerance = 0);
// The pixels of a rectangle that satisfy Test.
template <class F>
int Count(const TImage& Img, int X0, int Y0, int W, int H, F Test) {
  int n = 0;
  for (int y = Y0; y < Y0 + H; ++y)
    for (int x = X0; x < X0 + W; ++x) n += Test(Img.At(x, y)) ? 1 : 0;
  return n;
}

// A screenshot of the whole screen of a display.
bool Screenshot(const std::string& Display, TImage& Image);
// Screenshots until Drawn(Image) holds (the program may not have drawn yet);
// false when it never does within TimeoutMs (Image then holds the last one).
template <class F>
bool ScreenshotUntil(const std::string& Display, TImage& Image, F Drawn, int TimeoutMs = 10000);

// The id of the first visible window whose name matches the pattern, waiting
// at most TimeoutMs; empty when there is none.
std::string FindWindow(const std::string& Display, const std::string& NamePattern, int TimeoutMs);
struct TGeometry {
  int x = 0, y = 0, w = 0, h = 0;
};
bool WindowGeometry(const std::string& Display, const std::string& Window, TGeometry& G);
// The id of a visible window without a name, such as an open popup menu, other
// than the root window; empty when none appears within TimeoutMs.
std::string FindPopup(const std::string& Display, int TimeoutMs);
// Whether no visible window matches the pattern any more, within TimeoutMs.
bool WindowGone(const std::string& Display, const std::string& NamePattern, int TimeoutMs = 10000);
// Asks the window (an id as xdotool gives it) to close, as its close button
// does under a window manager (WM_DELETE_WINDOW).
bool CloseWindow(const std::string& Display, const std::string& Window);
// xdotool with arguments, on that display.
std::string Xdotool(const std::string& Display, const std::string& Args, int* Status = nullptr);

long NowMs();

template <class F>
bool ScreenshotUntil(const std::string& Display, TImage& Image, F Drawn, int TimeoutMs) {
  long end = NowMs() + TimeoutMs;
  for (;;) {
    if (Screenshot(Display, Image) && Drawn(Image)) return true;
    if (NowMs() >= end) return false;
  }
}

}  // namespace guitest
