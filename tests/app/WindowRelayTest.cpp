// The relay's real window under a private Xvfb, driven with xdotool, with
// datagrams going through a private JACK server to a receiving client.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <vector>

#include "tests/app/RelayProcess.h"

namespace {

using namespace relaytest;
using namespace guitest;

constexpr int kScreenW = 1024, kScreenH = 768;
// Points of the client area (the layout's panels: title 0-32, information
// 32-120, footer 120-155).
constexpr int kIpX = 12 + 8, kIpY = 32 + 27 + 6;
constexpr int kPortX = 112 + 8, kPortY = 32 + 27 + 6;
constexpr int kDeviceX = 12 + 20, kDeviceY = 32 + 64 + 6;

class WindowRelay : public TRelayTest {
 protected:
  static void SetUpTestSuite() {
    if (!TXServer::Available()) return;
    FX = new TXServer;
    if (!FX->Start(kScreenW, kScreenH)) {
      delete FX;
      FX = nullptr;
    }
  }
  static void TearDownTestSuite() {
    delete FX;
    FX = nullptr;
  }

  void SetUp() override {
    if (!TXServer::Available()) GTEST_SKIP() << "Xvfb or xdotool is not installed";
    ASSERT_NE(FX, nullptr) << "Xvfb did not start";
    TRelayTest::SetUp();
  }

  // Starts the relay on 127.0.0.1 and a free port, with its window.
  void Start(const std::string& Settings = "") {
    FPort = FreeUdpPort();
    FRelay.WriteFile("VORLANX.INI",
                     Settings + "[Data]\nAdress=127.0.0.1\nPort=" + std::to_string(FPort) + "\n");
    ASSERT_TRUE(FRelay.Start({"DISPLAY=" + FX->Display()}));
    FWindow = FindWindow(FX->Display(), "^VORLANX$", 10000);
    ASSERT_FALSE(FWindow.empty()) << FRelay.Child().Stderr();
    ASSERT_TRUE(WindowGeometry(FX->Display(), FWindow, FGeometry));
    ASSERT_TRUE(FRelay.WaitBound("127.0.0.1", FPort));
    ASSERT_TRUE(WaitConnected(0));
  }
  int Stop() {
    int status = FRelay.Stop(SIGTERM);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    return status;
  }

  // Releases a mouse button over a point of the client area.
  void Click(int X, int Y, int Button = 1) {
    Xdotool(FX->Display(), "mousemove " + std::to_string(FGeometry.x + X) + " " +
                               std::to_string(FGeometry.y + Y) + " click " +
                               std::to_string(Button));
  }
  void Key(const std::string& Keys) { Xdotool(FX->Display(), "key --delay 20 " + Keys); }
  void Type(const std::string& Text) { Xdotool(FX->Display(), "type --delay 5 '" + Text + "'"); }
  bool Gone(const std::string& Name) { return WindowGone(FX->Display(), Name); }
  // Opens the device menu with a click and waits until it shows.
  void OpenMenu(int X, int Y, int Button) {
    Click(X, Y, Button);
    ASSERT_FALSE(FindPopup(FX->Display(), 10000).empty()) << "no menu";
  }
  // Answers an input dialog opened by a click with Text and Enter.
  void Answer(const std::string& Dialog, int X, int Y, const std::string& Text) {
    Click(X, Y);
    ASSERT_FALSE(FindWindow(FX->Display(), Dialog, 10000).empty()) << Dialog;
    Type(Text);
    Key("Return");
    ASSERT_TRUE(Gone(Dialog));
  }
  // The error box: titled "vorlanx", which xdotool, matching names regardless
  // of case, cannot tell from the main window "VORLANX".
  std::string FindErrorBox(int TimeoutMs) {
    for (int waited = 0; waited <= TimeoutMs; waited += 50) {
      std::string ids =
          Xdotool(FX->Display(), "search --onlyvisible --name '^vorlanx$' 2>/dev/null");
      std::istringstream in(ids);
      for (std::string id; in >> id;)
        if (id != FWindow && Xdotool(FX->Display(), "getwindowname " + id) == "vorlanx") return id;
      ::usleep(50 * 1000);
    }
    return "";
  }
  int CountErrorBoxes() {
    std::string ids = Xdotool(FX->Display(), "search --onlyvisible --name '^vorlanx$' 2>/dev/null");
    std::istringstream in(ids);
    int boxes = 0;
    for (std::string id; in >> id;)
      if (id != FWindow && Xdotool(FX->Display(), "getwindowname " + id) == "vorlanx") ++boxes;
    return boxes;
  }
  bool ErrorBoxGone() {
    for (int waited = 0; waited <= 10000; waited += 50) {
      if (FindErrorBox(0).empty()) return true;
      ::usleep(50 * 1000);
    }
    return false;
  }
  std::string Setting(const char* Key) {
    std::string file = FRelay.ReadFile(), key = std::string("\n") + Key + "=";
    size_t at = file.find(key);
    return at == std::string::npos
               ? "<none>"
               : file.substr(at + key.size(), file.find('\n', at + 1) - at - key.size());
  }

  static TXServer* FX;
  TRelay FRelay;
  uint16_t FPort = 0;
  std::string FWindow;
  TGeometry FGeometry;
};
TXServer* WindowRelay::FX = nullptr;

TEST_F(WindowRelay, GeometryTitleAndLook) {
  Start();
  EXPECT_EQ(Xdotool(FX->Display(), "getwindowname " + FWindow), "VORLANX");
  EXPECT_EQ(FGeometry.x, 213);
  EXPECT_EQ(FGeometry.y, 158);
  EXPECT_EQ(FGeometry.w, 185);
  EXPECT_EQ(FGeometry.h, 156);

  TImage img;
  const int X = FGeometry.x, Y = FGeometry.y;
  // Until the first drawing has reached the screen, the device's name included.
  EXPECT_TRUE(ScreenshotUntil(FX->Display(), img, [&](const TImage& i) {
    return Near(i.At(X + 4, Y + 140), 0, 64, 128) &&
           Count(i, X + 12, Y + 32 + 64, 120, 14,
                 [](TImage::Pixel p) { return p.r > 200 && p.g > 200 && p.b > 200; }) > 10;
  }));
  auto at = [&](int x, int y) { return img.At(X + x, Y + y); };
  // Three dark blue panels with a raised one-pixel edge, overlapping by one row.
  EXPECT_TRUE(Near(at(4, 20), 0, 64, 128));
  EXPECT_TRUE(Near(at(4, 100), 0, 64, 128));
  EXPECT_TRUE(Near(at(4, 140), 0, 64, 128));
  EXPECT_TRUE(Near(at(0, 10), 255, 255, 255));
  EXPECT_TRUE(Near(at(184, 10), 128, 128, 128));
  EXPECT_TRUE(Near(at(4, 32), 128, 128, 128));   // the title panel's bottom edge
  EXPECT_TRUE(Near(at(4, 120), 128, 128, 128));  // the information panel's bottom edge
  EXPECT_TRUE(Near(at(0, 121), 255, 255, 255));
  EXPECT_TRUE(Near(at(4, 155), 128, 128, 128));

  auto white = [](TImage::Pixel p) { return p.r > 200 && p.g > 200 && p.b > 200; };
  auto grey = [](TImage::Pixel p) { return Near(p, 128, 128, 128, 12); };
  auto brightest = [&](int x0, int y0, int w, int h) {
    int best = 0;
    for (int y = y0; y < y0 + h; ++y)
      for (int x = x0; x < x0 + w; ++x)
        best = std::max(best, std::min({img.At(x, y).r, img.At(x, y).g, img.At(x, y).b}));
    return best;
  };
  // The title: white over its grey shadow, below and right of it.
  EXPECT_GT(Count(img, X + 42, Y + 4, 100, 26, white), 60);
  EXPECT_GT(Count(img, X + 42, Y + 4, 100, 26, grey), 20);
  // Grey captions over white values, left and right column; the device name.
  EXPECT_NEAR(brightest(X + 12, Y + 32 + 11, 80, 14), 128, 12);
  EXPECT_NEAR(brightest(X + 111, Y + 32 + 11, 45, 14), 128, 12);
  EXPECT_NEAR(brightest(X + 12, Y + 32 + 48, 60, 14), 128, 12);
  // The values are white; anti-aliased thin digits of the port peak near 230.
  EXPECT_GT(brightest(X + 12, Y + 32 + 27, 33, 14), 200);
  EXPECT_GT(brightest(X + 112, Y + 32 + 27, 30, 14), 200);
  EXPECT_GT(Count(img, X + 12, Y + 32 + 64, 120, 14, white), 10);  // "synth:in_a"
  // Nothing of the values' rows right of the port is drawn.
  EXPECT_EQ(Count(img, X + 160, Y + 32 + 27, 20, 14, white), 0);
  // The footer's two lines.
  EXPECT_GT(Count(img, X + 20, Y + 124, 145, 13, white), 10);
  EXPECT_GT(Count(img, X + 20, Y + 138, 145, 13, white), 10);

  EXPECT_TRUE(FRelay.Child().WaitIdle()) << "idle costs processor time";
  Stop();
  // The outer size is the client area inside a dialog frame.
  EXPECT_EQ(Setting("Top"), "158");
  EXPECT_EQ(Setting("Left"), "213");
  EXPECT_EQ(Setting("Width"), "191");
  EXPECT_EQ(Setting("Height"), "182");
}

TEST_F(WindowRelay, TheAddressCommandRebinds) {
  Start();
  Answer("^New receive IP adress$", kIpX, kIpY, "localhost");
  ASSERT_TRUE(FRelay.WaitBound("127.0.0.1", FPort));
  ExpectRelayed(FPort, Bytes({0x90, 0x40, 0x50}));
  // Cancelling re-binds with what is shown; the right button opens it too.
  Click(kIpX, kIpY, 3);
  ASSERT_FALSE(FindWindow(FX->Display(), "^New receive IP adress$", 10000).empty());
  Type("0.0.0.0");
  Key("Escape");
  ASSERT_TRUE(Gone("^New receive IP adress$"));
  ExpectRelayed(FPort, Bytes({0x80, 0x40, 0x00}));
  Answer("^New receive IP adress$", kIpX, kIpY, "0.0.0.0");
  ASSERT_TRUE(FRelay.WaitBound("0.0.0.0", FPort));
  EXPECT_EQ(UdpSockets(FRelay.Child().Pid()).size(), 1u);
  EXPECT_TRUE(FindErrorBox(0).empty());
  Stop();
  EXPECT_EQ(Setting("Adress"), "0.0.0.0");
}

TEST_F(WindowRelay, ThePortCommandClampsAndRefusesWhatIsNoNumber) {
  if (!UdpPortFree(65535)) GTEST_SKIP() << "something else uses UDP port 65535";
  Start();
  Answer("^New local port$", kPortX, kPortY, "70000");
  ASSERT_TRUE(FRelay.WaitBound("127.0.0.1", 65535));
  ExpectRelayed(65535, Bytes({0x90, 0x3C, 0x64}));

  Click(kPortX, kPortY, 2);
  ASSERT_FALSE(FindWindow(FX->Display(), "^New local port$", 10000).empty());
  Type("4000x");
  Key("Return");
  std::string box = FindErrorBox(5000);
  ASSERT_FALSE(box.empty()) << "no error box";
  TGeometry g;
  ASSERT_TRUE(WindowGeometry(FX->Display(), box, g));
  TImage img;
  EXPECT_TRUE(ScreenshotUntil(FX->Display(), img, [&](const TImage& i) {
    return Count(i, g.x, g.y, 60, 50,
                 [](TImage::Pixel p) { return p.r > 180 && p.g < 40 && p.b < 40; }) > 100;
  })) << "no error icon";
  // Datagrams go on while the box is open, on the port as it was.
  ExpectRelayed(65535, Bytes({0x80, 0x3C, 0x00}));
  Key("Return");
  ASSERT_TRUE(ErrorBoxGone());
  EXPECT_TRUE(FRelay.WaitBound("127.0.0.1", 65535));
  Stop();
  EXPECT_EQ(Setting("Port"), "65535");
}

TEST_F(WindowRelay, TheDeviceMenuRoutesDatagramsToTheChosenDevice) {
  Start();
  HoldNotes(FPort, 0);
  OpenMenu(kDeviceX, kDeviceY, 3);
  Key("Down Down Return");  // the second device
  ASSERT_TRUE(WaitConnected(1));
  // What was held on the device left is ended there first.
  ExpectHeldNotesEnded(0);
  ExpectRelayed(FPort, Bytes({0x90, 0x3E, 0x64}), 1);
  // "MIDI-Out port:" opens the menu too; choosing the first device again.
  OpenMenu(12 + 10, 32 + 48 + 6, 1);
  Key("Down Return");
  EXPECT_TRUE(FSynth.WaitConnections(1, 0)) << "the previous device stays open";
  std::vector<testjack::TMidiEvent> ended = FSynth.Wait(1, 5000);
  ASSERT_EQ(ended.size(), 1u);
  EXPECT_EQ(ended[0].Port, 1);
  EXPECT_EQ(ended[0].Data(), (std::vector<uint8_t>{0x80, 0x3E, 0x40}));
  ExpectRelayed(FPort, Bytes({0x80, 0x3C, 0x00}), 0);
  Stop();
  EXPECT_EQ(Setting("MIDI-Out"), "0");
}

// Whatever closes the output ends the notes held there first: choosing
// another device (above), the display going away (below), closing the window.
TEST_F(WindowRelay, HeldNotesEndWhenTheWindowIsClosed) {
  Start();
  HoldNotes(FPort, 0);
  ASSERT_TRUE(CloseWindow(FX->Display(), FWindow));
  const int status = FRelay.Child().Wait(10000);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  ExpectHeldNotesEnded(0);
}

TEST_F(WindowRelay, DatagramsKeepFlowingWhileTheInputDialogIsOpen) {
  Start();
  Click(kPortX, kPortY);
  ASSERT_FALSE(FindWindow(FX->Display(), "^New local port$", 10000).empty());
  for (int i = 0; i < 10; ++i) ExpectRelayed(FPort, Bytes({0x90, 0x30 + i, 0x64}));
  Key("Escape");
  ASSERT_TRUE(Gone("^New local port$"));
  ExpectRelayed(FPort, Bytes({0x80, 0x30, 0x00}));
  Stop();
  EXPECT_EQ(Setting("Port"), std::to_string(FPort));
}

TEST_F(WindowRelay, ASizeBelowTheLayoutsGivesTheLayoutsSize) {
  Start("[Window]\nWidth=0\nHeight=-3\n");
  EXPECT_EQ(FGeometry.w, 185);
  EXPECT_EQ(FGeometry.h, 156);
  Stop();
  EXPECT_EQ(Setting("Width"), "191");
  EXPECT_EQ(Setting("Height"), "182");
}

// The lines of dark text in an area: for each band of rows holding text, the
// width from its leftmost to its rightmost dark pixel.
std::vector<int> TextLineWidths(const TImage& Img, int X0, int Y0, int W, int H) {
  std::vector<int> widths;
  bool inBand = false;
  for (int y = Y0; y < Y0 + H; ++y) {
    int left = -1, right = -1;
    for (int x = X0; x < X0 + W; ++x) {
      TImage::Pixel p = Img.At(x, y);
      if (p.r < 90 && p.g < 90 && p.b < 90) {
        if (left < 0) left = x;
        right = x;
      }
    }
    if (left < 0) {
      inBand = false;
      continue;
    }
    if (!inBand) widths.push_back(0);
    inBand = true;
    widths.back() = std::max(widths.back(), right - left + 1);
  }
  return widths;
}

// The CR LF inside a message is a line break in the error box, not a "^M".
TEST_F(WindowRelay, TheErrorBoxBreaksTheLineAtCrLf) {
  FPort = FreeUdpPort();
  TPortHolder holder(FPort);
  ASSERT_TRUE(holder.Held());
  FRelay.WriteFile("VORLANX.INI", "[Data]\nAdress=127.0.0.1\nPort=" + std::to_string(FPort) + "\n");
  ASSERT_TRUE(FRelay.Start({"DISPLAY=" + FX->Display()}));
  // The box opens during start-up, before the main window shows.
  std::string box = FindErrorBox(10000);
  ASSERT_FALSE(box.empty()) << "no error box: " << FRelay.Child().Stderr();
  TGeometry g;
  ASSERT_TRUE(WindowGeometry(FX->Display(), box, g));
  TImage img;
  std::vector<int> lines;
  for (int i = 0; i < 30 && lines.size() < 2; ++i) {  // until the text is drawn
    ::usleep(100 * 1000);
    ASSERT_TRUE(Screenshot(FX->Display(), img));
    lines = TextLineWidths(img, g.x + 56, g.y + 6, g.w - 60, 40);
  }
  ASSERT_EQ(lines.size(), 2u) << "the message is not on two lines";
  // "Error 10048 in function Bind" against "Address already in use.": 1.24
  // wide in the dialog's sans font; a "^M" drawn after the first makes it 1.39.
  EXPECT_LT(lines[0] * 100, lines[1] * 132) << lines[0] << " against " << lines[1];
  Key("Return");
  ASSERT_TRUE(ErrorBoxGone());
  Stop();
  EXPECT_EQ(FRelay.Child().Stderr(), "");
}

// Logging out ends the X server: the relay saves what was changed in the
// window, ends the notes held and closes the device and the socket, and ends
// with one line and status 1, also while its device menu is open.
TEST_F(WindowRelay, WhenTheDisplayGoesAwayTheSettingsAreSaved) {
  TXServer x;
  ASSERT_TRUE(x.Start(kScreenW, kScreenH));
  FPort = FreeUdpPort();
  FRelay.WriteFile("VORLANX.INI", "[Data]\nAdress=127.0.0.1\nPort=" + std::to_string(FPort) + "\n");
  ASSERT_TRUE(FRelay.Start({"DISPLAY=" + x.Display()}));
  FWindow = FindWindow(x.Display(), "^VORLANX$", 10000);
  ASSERT_FALSE(FWindow.empty());
  ASSERT_TRUE(WindowGeometry(x.Display(), FWindow, FGeometry));
  ASSERT_TRUE(FRelay.WaitBound("127.0.0.1", FPort));
  HoldNotes(FPort, 0);
  auto click = [&](int X, int Y) {
    Xdotool(x.Display(), "mousemove " + std::to_string(FGeometry.x + X) + " " +
                             std::to_string(FGeometry.y + Y) + " click 1");
  };
  const uint16_t newPort = FreeUdpPort();
  click(kPortX, kPortY);
  ASSERT_FALSE(FindWindow(x.Display(), "^New local port$", 5000).empty());
  Xdotool(x.Display(), "type --delay 5 '" + std::to_string(newPort) + "'");
  Xdotool(x.Display(), "key Return");
  ASSERT_TRUE(FRelay.WaitBound("127.0.0.1", newPort));
  click(kDeviceX, kDeviceY);
  ASSERT_FALSE(FindPopup(x.Display(), 10000).empty()) << "no menu";
  x.Stop();
  int status = FRelay.Child().Wait(10000);
  ASSERT_NE(status, -1) << "did not end";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
  EXPECT_EQ(FRelay.Child().Stderr(), "vorlanx: the display went away; settings saved, stopped\n");
  EXPECT_EQ(Setting("Port"), std::to_string(newPort));
  EXPECT_EQ(Setting("Left"), "213");
  ExpectHeldNotesEnded(0);
  for (int i = 0; i < 250 && !FSynth.Connections(0).empty(); ++i) ::usleep(20 * 1000);
  EXPECT_TRUE(FSynth.Connections(0).empty()) << "the device was not closed";
}

// The same while the error box of a failed start is open, before the window
// has been shown.
TEST_F(WindowRelay, WhenTheDisplayGoesAwayDuringStartUpTheRelayEnds) {
  TXServer x;
  ASSERT_TRUE(x.Start(kScreenW, kScreenH));
  FPort = FreeUdpPort();
  TPortHolder holder(FPort);
  ASSERT_TRUE(holder.Held());
  FRelay.WriteFile("VORLANX.INI",
                   "[Data]\nAdress=127.0.0.1\nPort=" + std::to_string(FPort) + "\nMIDI-Out=1\n");
  ASSERT_TRUE(FRelay.Start({"DISPLAY=" + x.Display()}));
  ASSERT_FALSE(FindWindow(x.Display(), "^vorlanx$", 10000).empty()) << "no error box";
  x.Stop();
  int status = FRelay.Child().Wait(10000);
  ASSERT_NE(status, -1) << "did not end";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
  EXPECT_EQ(FRelay.Child().Stderr(), "vorlanx: the display went away; settings saved, stopped\n");
  EXPECT_EQ(Setting("Port"), std::to_string(FPort));
  EXPECT_EQ(Setting("MIDI-Out"), "1");
}

// A synthesiser that goes while its server stays is said by one error box at
// once, however many datagrams follow; while the box is open, the one that
// comes back is connected and played on.
TEST_F(WindowRelay, ALostSynthesiserGivesOneErrorBoxAndIsPlayedOnWhenItComesBack) {
  Start();
  ExpectRelayed(FPort, Bytes({0x90, 0x3C, 0x64}));
  FSynth.Close();
  std::string box = FindErrorBox(10000);
  ASSERT_FALSE(box.empty()) << "no error box";
  for (int i = 0; i < 40; ++i) {
    FSender.Send(FPort, Bytes({0x90, 0x3C, 0x64}));
    ::usleep(10 * 1000);
  }
  std::string error;
  ASSERT_TRUE(FSynth.Open("synth", {"in_a", "in_b"}, &error)) << error;
  ASSERT_TRUE(WaitConnected(0)) << "not connected again while the box is open";
  EXPECT_TRUE(FSynth.Settle().empty()) << "kept from while it was gone";
  ExpectRelayed(FPort, Bytes({0x90, 0x3D, 0x64}));
  EXPECT_EQ(FindErrorBox(0), box);
  EXPECT_EQ(CountErrorBoxes(), 1);
  Key("Return");
  EXPECT_TRUE(ErrorBoxGone());
  Stop();
}

// A lost server is said by one error box, however many datagrams follow; its
// modal loop goes on relaying, so the server that comes back is played on
// while the box is still open.
TEST_F(WindowRelay, ALostServerGivesOneErrorBoxAndRelayingGoesOnWhileItIsOpen) {
  Start();
  ExpectRelayed(FPort, Bytes({0x90, 0x3C, 0x64}));
  // The synthesiser goes first (a box of its own), then its server.
  FSynth.Close();
  ASSERT_FALSE(FindErrorBox(10000).empty()) << "no error box for the synthesiser";
  Key("Return");
  ASSERT_TRUE(ErrorBoxGone());
  FServer.Kill();
  std::string box;
  for (int i = 0; i < 100 && box.empty(); ++i) {
    FSender.Send(FPort, Bytes({0x90, 0x3C, 0x64}));
    box = FindErrorBox(100);
  }
  ASSERT_FALSE(box.empty()) << "no error box";
  for (int i = 0; i < 40; ++i) {
    FSender.Send(FPort, Bytes({0x90, 0x3C, 0x64}));
    ::usleep(25 * 1000);
  }
  std::string error;
  ASSERT_TRUE(FServer.Restart(&error)) << error;
  ASSERT_TRUE(FSynth.Open("synth", {"in_a", "in_b"}, &error)) << error;
  bool connected = false;
  for (int i = 0; i < 300 && !connected; ++i) {
    FSender.Send(FPort, Bytes({0xF8, 0x00, 0x00}));
    connected = FSynth.WaitConnections(0, 1, 50);
  }
  ASSERT_TRUE(connected) << "not found again while the box is open";
  FSynth.Settle();
  ExpectRelayed(FPort, Bytes({0x80, 0x3C, 0x00}));
  EXPECT_EQ(CountErrorBoxes(), 1) << "still the one box";
  Key("Return");
  EXPECT_TRUE(ErrorBoxGone());
  Stop();
}

}  // namespace
