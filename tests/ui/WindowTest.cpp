// The sample form as a real window under a private Xvfb, driven with xdotool.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "tests/support/Loopback.h"
#include "tests/ui/GuiTestSupport.h"

namespace {

using namespace guitest;

constexpr int kScreenW = 1024, kScreenH = 768;

class WindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!TXServer::Available()) return;
    server = new TXServer;
    if (!server->Start(kScreenW, kScreenH)) {
      delete server;
      server = nullptr;
    }
  }
  static void TearDownTestSuite() {
    delete server;
    server = nullptr;
  }

  void SetUp() override {
    if (!TXServer::Available()) GTEST_SKIP() << "Xvfb or xdotool is not installed";
    ASSERT_NE(server, nullptr) << "Xvfb did not start";
    display = server->Display();
  }
  void TearDown() override {
    if (child.Pid() > 0) {
      child.Signal(SIGTERM);
      child.Wait(5000);
    }
  }

  // Starts the sample and waits for its window.
  void Start(std::vector<std::string> args = {}) {
    args.insert(args.begin(), UI_SAMPLE_FORM);
    ASSERT_TRUE(child.Start(args, {"DISPLAY=" + display}));
    ASSERT_EQ(child.WaitFor("ready", 10000), "ready window");
    window = FindWindow(display, "^Sample$", 10000);
    ASSERT_FALSE(window.empty());
    ASSERT_TRUE(WindowGeometry(display, window, geometry));
  }

  // Releases a mouse button over a point of the form's client area.
  void Click(int x, int y, int button = 1) {
    Xdotool(display, "mousemove " + std::to_string(geometry.x + x) + " " +
                         std::to_string(geometry.y + y) + " click " + std::to_string(button));
  }
  void Key(const std::string& keys) { Xdotool(display, "key --delay 20 " + keys); }
  void Type(const std::string& text) { Xdotool(display, "type --delay 2 '" + text + "'"); }

  bool Gone(const std::string& name) { return WindowGone(display, name); }
  // Opens the popup menu with a click and waits until it shows.
  void OpenMenu(int x, int y, int button) {
    Click(x, y, button);
    ASSERT_FALSE(FindPopup(display, 10000).empty()) << "no menu";
  }

  static TXServer* server;
  std::string display;
  TChild child;
  std::string window;
  TGeometry geometry;
};
TXServer* WindowTest::server = nullptr;

TEST_F(WindowTest, GeometryTitleAndTheLookOfPanelsAndLabels) {
  Start();
  EXPECT_EQ(Xdotool(display, "getwindowname " + window), "Sample");
  EXPECT_EQ(geometry.x, 120);
  EXPECT_EQ(geometry.y, 90);
  EXPECT_EQ(geometry.w, 185);
  EXPECT_EQ(geometry.h, 166);

  TImage img;
  const int X = geometry.x, Y = geometry.y;
  // Until the first drawing has reached the screen.
  EXPECT_TRUE(ScreenshotUntil(display, img, [&](const TImage& i) {
    return Near(i.At(X + 10, Y + 20), 0, 64, 128) && Near(i.At(X + 10, Y + 121), 0, 64, 128);
  }));
  auto at = [&](int x, int y) { return img.At(X + x, Y + y); };
  // Panel colour 8404992, a raised one-pixel edge: light top and left, dark
  // right and bottom, each dark edge owning its corners.
  EXPECT_TRUE(Near(at(10, 20), 0, 64, 128));
  EXPECT_TRUE(Near(at(0, 0), 255, 255, 255));
  EXPECT_TRUE(Near(at(0, 10), 255, 255, 255));
  EXPECT_TRUE(Near(at(183, 0), 255, 255, 255));
  EXPECT_TRUE(Near(at(184, 0), 128, 128, 128));
  EXPECT_TRUE(Near(at(184, 10), 128, 128, 128));
  EXPECT_TRUE(Near(at(0, 32), 128, 128, 128));  // the top panel lies over the middle one
  EXPECT_TRUE(Near(at(10, 32), 128, 128, 128));
  EXPECT_TRUE(Near(at(10, 33), 0, 64, 128));
  EXPECT_TRUE(Near(at(10, 120), 128, 128, 128));  // the middle panel lies over the footer
  EXPECT_TRUE(Near(at(0, 121), 255, 255, 255));
  EXPECT_TRUE(Near(at(10, 121), 0, 64, 128));
  EXPECT_TRUE(Near(at(10, 140), 0, 64, 128));
  EXPECT_TRUE(Near(at(10, 155), 128, 128, 128));
  EXPECT_TRUE(Near(at(10, 160), 0, 0, 0));  // the form's own black below the panels
  EXPECT_TRUE(Near(at(180, 165), 0, 0, 0));

  // The title: white text over a grey shadow, on the panel colour. Small text
  // is smoothed, so the captions are told apart by their brightest pixels.
  auto white = [](TImage::Pixel p) { return p.r > 200 && p.g > 200 && p.b > 200; };
  auto grey = [](TImage::Pixel p) { return Near(p, 128, 128, 128, 12); };
  auto brightest = [&](int x0, int y0, int w, int h) {
    int best = 0;
    for (int y = y0; y < y0 + h; ++y)
      for (int x = x0; x < x0 + w; ++x)
        best = std::max(best, std::min({img.At(x, y).r, img.At(x, y).g, img.At(x, y).b}));
    return best;
  };
  EXPECT_GT(Count(img, X + 42, Y + 4, 100, 26, white), 40);
  EXPECT_GT(Count(img, X + 42, Y + 4, 100, 26, grey), 10);
  // Grey caption, white value, each on its parent's colour.
  EXPECT_NEAR(brightest(X + 12, Y + 32 + 11, 40, 14), 128, 12);
  EXPECT_GT(brightest(X + 12, Y + 32 + 27, 40, 14), 230);
  EXPECT_GT(Count(img, X + 12, Y + 32 + 27, 40, 14, white), 3);
  EXPECT_TRUE(Near(at(12, 32 + 27), 0, 64, 128));

  // Idle, the window costs no processor time.
  EXPECT_TRUE(child.WaitIdle());
}

TEST_F(WindowTest, PositionAndOuterSizeSetByTheProgramComeBackUnchanged) {
  Start({"--bounds=300,200,211,226"});
  EXPECT_EQ(geometry.x, 300);
  EXPECT_EQ(geometry.y, 200);
  EXPECT_EQ(geometry.w, 205);  // outer size less the dialog frame
  EXPECT_EQ(geometry.h, 200);
  // Moved by the user: the new place is what the form reports.
  Xdotool(display, "windowmove --sync " + window + " 350 260");
  // The program learns of the move asynchronously; the posted message is
  // answered after the move's events, which X delivered before it.
  child.Write("post\n");
  EXPECT_EQ(child.WaitFor("posted=", 10000), "posted=1");
  child.Signal(SIGTERM);
  EXPECT_EQ(child.WaitFor("destroyed", 10000), "destroyed 350 260 211 226");
  int status = child.Wait(5000);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST_F(WindowTest, APositionOffTheScreenIsKeptThoughTheWindowIsPulledOn) {
  Start({"--bounds=-50,99999,191,182"});
  EXPECT_GE(geometry.x, 0);
  EXPECT_LE(geometry.y + geometry.h, kScreenH);
  child.Signal(SIGTERM);
  EXPECT_EQ(child.WaitFor("destroyed", 10000), "destroyed -50 99999 191 182");
}

TEST_F(WindowTest, InputDialogAnswersOkCancelAndEscapeAndKeepsDispatching) {
  Start();
  Click(20, 32 + 33);  // the value label, left button
  std::string dialog = FindWindow(display, "^New value$", 10000);
  ASSERT_FALSE(dialog.empty());
  TGeometry g;
  ASSERT_TRUE(WindowGeometry(display, dialog, g));
  EXPECT_NEAR(g.x, (kScreenW - g.w) / 2, 1);  // centred
  EXPECT_NEAR(g.y, (kScreenH - g.h) / 2, 1);
  // Messages posted from another thread keep being handled while it is open.
  child.Write("post\npost\n");
  EXPECT_EQ(child.WaitFor("posted=", 10000), "posted=1");
  EXPECT_EQ(child.WaitFor("posted=", 10000), "posted=2");
  Type("hello");  // replaces the selected value
  Key("Return");
  std::string answer = child.WaitFor("value=", 10000);
  EXPECT_EQ(answer.substr(0, answer.find(' ')), "value=hello");
  EXPECT_NE(answer, "value=hello hooked=0");  // the keys went through the thread's hooks
  ASSERT_TRUE(Gone("^New value$"));

  Click(20, 32 + 33, 3);  // right button
  ASSERT_FALSE(FindWindow(display, "^New value$", 10000).empty());
  Type("other");
  Key("Escape");
  answer = child.WaitFor("value=", 10000);
  EXPECT_EQ(answer.substr(0, answer.find(' ')), "value=hello");
  ASSERT_TRUE(Gone("^New value$"));

  Click(20, 32 + 33, 2);  // middle button; then the Cancel button
  dialog = FindWindow(display, "^New value$", 10000);
  ASSERT_FALSE(dialog.empty());
  ASSERT_TRUE(WindowGeometry(display, dialog, g));
  Type("other");
  Xdotool(display, "mousemove " + std::to_string(g.x + g.w - 45) + " " +
                       std::to_string(g.y + g.h - 22) + " click 1");
  answer = child.WaitFor("value=", 10000);
  EXPECT_EQ(answer.substr(0, answer.find(' ')), "value=hello");
}

TEST_F(WindowTest, InputDialogHoldsAtMost255Characters) {
  Start();
  Click(20, 32 + 33);
  ASSERT_FALSE(FindWindow(display, "^New value$", 10000).empty());
  Type(std::string(300, 'a'));
  Key("Return");
  std::string answer = child.WaitFor("value=", 20000);
  EXPECT_EQ(answer.substr(0, answer.find(' ')), "value=" + std::string(255, 'a'));
}

TEST_F(WindowTest, ErrorBoxShowsTheExceptionAndKeepsDispatching) {
  Start();
  Click(40, 120 + 10, 2);  // the failing label
  std::string box = FindWindow(display, "^ui_sample_form$", 10000);
  ASSERT_FALSE(box.empty());
  child.Write("post\n");
  EXPECT_EQ(child.WaitFor("posted=", 10000), "posted=1");
  TImage img;
  TGeometry g;
  ASSERT_TRUE(WindowGeometry(display, box, g));
  // The error icon: a red disc (once the box is drawn).
  EXPECT_TRUE(ScreenshotUntil(display, img, [&](const TImage& i) {
    return Count(i, g.x, g.y, 60, 50,
                 [](TImage::Pixel p) { return p.r > 180 && p.g < 40 && p.b < 40; }) > 100;
  }));
  Key("Return");
  EXPECT_TRUE(Gone("^ui_sample_form$"));
  // The program goes on.
  child.Write("post\n");
  EXPECT_EQ(child.WaitFor("posted=", 10000), "posted=2");
}

TEST_F(WindowTest, AnErrorBoxOverTheInputDialogLeavesTheDialogWorking) {
  Start();
  Click(20, 32 + 33);
  ASSERT_FALSE(FindWindow(display, "^New value$", 10000).empty());
  child.Write("error\n");  // an error box from a message handled inside the dialog's loop
  ASSERT_FALSE(FindWindow(display, "^ui_sample_form$", 10000).empty());
  Key("Return");
  EXPECT_EQ(child.WaitFor("error shown", 10000), "error shown");
  EXPECT_TRUE(Gone("^ui_sample_form$"));
  ASSERT_FALSE(FindWindow(display, "^New value$", 1000).empty());
  Type("after");
  Key("Return");
  std::string answer = child.WaitFor("value=", 10000);
  EXPECT_EQ(answer.substr(0, answer.find(' ')), "value=after");
}

TEST_F(WindowTest, PopupMenuChoosesByKeyAndByMouseAndKeepsDispatching) {
  Start();
  OpenMenu(20, 32 + 70, 3);  // the menu label, right button
  child.Write("post\n");
  EXPECT_EQ(child.WaitFor("posted=", 10000), "posted=1");
  Key("Down Down Return");
  EXPECT_EQ(child.WaitFor("menu=", 10000), "menu=1");

  OpenMenu(20, 32 + 70, 1);  // left button: the menu opens at the mouse, first item under it
  Xdotool(display, "mousemove_relative 15 8 click 1");
  EXPECT_EQ(child.WaitFor("menu=", 10000), "menu=0");

  OpenMenu(20, 32 + 70, 1);
  Key("Escape");  // dismissed: nothing chosen
  child.Write("post\n");
  std::string line;
  ASSERT_TRUE(child.ReadLine(line, 10000));
  EXPECT_EQ(line, "posted=2");
}

// select(), which the window's loop waits with, cannot watch a descriptor of
// 1024 or more; the loop's own wait handle stays low however many sockets the
// program opens, so the newest of 2,000 still receives and the window still
// answers the mouse and the keyboard.
TEST_F(WindowTest, TwoThousandSocketsLeaveTheWindowAndTheNewestSocketWorking) {
  Start({"--sockets=2000"});
  std::string line = child.WaitFor("sockets ", 60000);
  unsigned port = 0;
  int handle = 0, wait = 0;
  ASSERT_EQ(std::sscanf(line.c_str(), "sockets port=%u handle=%d wait=%d", &port, &handle, &wait),
            3)
      << line << child.Stderr();
  if (handle < 1024) GTEST_SKIP() << "the descriptor limit could not be raised: " << line;
  EXPECT_LT(wait, 1024);

  int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(fd, 0);
  auto send = [&](const std::string& text) {
    return loopback::SendUdp(fd, static_cast<uint16_t>(port), text.data(), text.size());
  };
  ASSERT_TRUE(send("first"));
  EXPECT_EQ(child.WaitFor("received=", 10000), "received=first");

  Click(20, 32 + 33);  // the input dialog, in its own modal loop
  ASSERT_FALSE(FindWindow(display, "^New value$", 10000).empty());
  ASSERT_TRUE(send("inside"));
  EXPECT_EQ(child.WaitFor("received=", 10000), "received=inside");
  Type("many");
  Key("Return");
  std::string answer = child.WaitFor("value=", 10000);
  EXPECT_EQ(answer.substr(0, answer.find(' ')), "value=many");
  ASSERT_TRUE(send("after"));
  EXPECT_EQ(child.WaitFor("received=", 10000), "received=after");
  ::close(fd);
}

}  // namespace
