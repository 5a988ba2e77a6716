// The Win32 backend in process (under Wine with a display): a form drawn as
// its layout says, mouse releases delivered to the control under the mouse,
// and modal loops that end when the application is asked to terminate.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/Dialogs.h"
#include "ui/ExtCtrls.h"
#include "ui/Forms.h"
#include "ui/Layout.h"
#include "ui/Menus.h"
#include "ui/StdCtrls.h"

#include <windows.h>

namespace {

constexpr TColor kBlue = 8404992;  // RGB 0, 64, 128

struct TRelease {
  std::string name;
  TMouseButton button;
  int x, y;
};
std::vector<TRelease> g_releases;

const TFormLayout kForm = {"Backend probe", 40, 30, 185, 100, clBlack};
// clang-format off
const TControlLayout kControls[] = {
  {"Head",  ckPanel,     nullptr, 0,  0,  185, 41, "",        nullptr, 0,  clNone,  kBlue},
  {"value", ckLabel,     "Head",  12, 10, 33,  14, "0.0.0.0", "Arial", 11, clWhite, clNone,
   crHandPoint, false, taLeftJustify, "up"},
  {"note",  ckLabel,     "Head",  100, 10, 30, 14, "note",    "Arial", 11, clGray,  clNone},
  {"pop",   ckPopupMenu, nullptr, 0,  0,  0,   0,  nullptr,   nullptr, 0,  clNone,  clNone},
};
// clang-format on

class Win32BackendTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    FApp = new TApplication;
    FApp->Initialize();
    FApp->CreateForm(FForm);
    BuildLayout(FForm, kForm, kControls,
                {{"up", [](TObject* s, TMouseButton b, TShiftState, int x, int y) {
                    g_releases.push_back({static_cast<TComponent*>(s)->Name(), b, x, y});
                  }}});
  }
  static void TearDownTestSuite() {
    delete FApp;
    FApp = nullptr;
  }
  void SetUp() override {
    ASSERT_FALSE(FApp->Headless()) << "no window could be made";
    FApp->SetTerminated(false);
    g_releases.clear();
    FWindow = FindWindowW(L"VorlanxForm", L"Backend probe");
    ASSERT_NE(FWindow, nullptr);
    FApp->ProcessMessages();
    UpdateWindow(FWindow);
  }
  COLORREF PixelAt(int x, int y) {
    HDC dc = GetDC(FWindow);
    COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(FWindow, dc);
    return c;
  }
  void Release(UINT down, UINT up, int x, int y) {
    SendMessageW(FWindow, down, 0, MAKELPARAM(x, y));
    SendMessageW(FWindow, up, 0, MAKELPARAM(x, y));
  }
  // Asks the application to terminate from inside whatever modal loop runs
  // in 200 ms (a thread timer is dispatched by every loop of the thread).
  static void TerminateSoon() {
    SetTimer(nullptr, 0, 200, [](HWND, UINT, UINT_PTR id, DWORD) {
      KillTimer(nullptr, id);
      Application->Terminate();
    });
  }

  static TApplication* FApp;
  static TForm* FForm;
  HWND FWindow = nullptr;
};
TApplication* Win32BackendTest::FApp = nullptr;
TForm* Win32BackendTest::FForm = nullptr;

TEST_F(Win32BackendTest, FormIsDrawnAsLaidOut) {
  RECT client;
  GetClientRect(FWindow, &client);
  EXPECT_EQ(client.right, 185);
  EXPECT_EQ(client.bottom, 100);
  EXPECT_EQ(PixelAt(150, 30), RGB(0, 64, 128));  // the panel
  EXPECT_EQ(PixelAt(150, 70), RGB(0, 0, 0));     // the form below it
  // The raised edge: light top and left, dark right and bottom.
  EXPECT_EQ(PixelAt(50, 0), RGB(255, 255, 255));
  EXPECT_EQ(PixelAt(0, 20), RGB(255, 255, 255));
  EXPECT_EQ(PixelAt(184, 20), RGB(128, 128, 128));
  EXPECT_EQ(PixelAt(50, 40), RGB(128, 128, 128));
  // A label takes the size of its text, and its text is drawn in its colour.
  auto* value = LayoutComponent<TLabel>(FForm, "value");
  EXPECT_GT(value->Width(), 20);
  EXPECT_LT(value->Width(), 50);
  EXPECT_GE(value->Height(), 11);
  EXPECT_LE(value->Height(), 16);
  int white = 0;
  for (int y = value->Top(); y < value->Top() + value->Height(); ++y)
    for (int x = value->Left(); x < value->Left() + value->Width(); ++x)
      white += PixelAt(x, y) == RGB(255, 255, 255);
  EXPECT_GT(white, 10);
}

TEST_F(Win32BackendTest, ReleaseGoesToTheControlUnderTheMouse) {
  auto* value = LayoutComponent<TLabel>(FForm, "value");
  Release(WM_RBUTTONDOWN, WM_RBUTTONUP, value->Left() + 5, value->Top() + 4);
  Release(WM_MBUTTONDOWN, WM_MBUTTONUP, value->Left() + 2, value->Top() + 3);
  Release(WM_LBUTTONDOWN, WM_LBUTTONUP, 150, 70);  // the bare form
  Release(WM_LBUTTONDOWN, WM_LBUTTONUP, 104, 14);  // a label without a handler
  ASSERT_EQ(g_releases.size(), 2u);
  EXPECT_EQ(g_releases[0].name, "value");
  EXPECT_EQ(g_releases[0].button, mbRight);
  EXPECT_EQ(g_releases[0].x, 5);
  EXPECT_EQ(g_releases[0].y, 4);
  EXPECT_EQ(g_releases[1].button, mbMiddle);
}

TEST_F(Win32BackendTest, HandCursorOverTheClickableLabelOnly) {
  auto* value = LayoutComponent<TLabel>(FForm, "value");
  auto cursorAt = [&](int x, int y) {
    POINT p{x, y};
    ClientToScreen(FWindow, &p);
    SetCursorPos(p.x, p.y);
    SendMessageW(FWindow, WM_SETCURSOR, reinterpret_cast<WPARAM>(FWindow),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    return GetCursor();
  };
  HCURSOR hand = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_HAND));
  HCURSOR arrow = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  EXPECT_EQ(cursorAt(value->Left() + 3, value->Top() + 3), hand);
  EXPECT_EQ(cursorAt(104, 14), arrow);  // the grey label
  EXPECT_EQ(cursorAt(150, 70), arrow);  // the form
}

TEST_F(Win32BackendTest, TerminatingEndsOpenModalLoops) {
  std::string value = "kept";
  TerminateSoon();
  EXPECT_FALSE(InputQuery("Probe", "ends by itself", value));
  EXPECT_EQ(value, "kept");
  EXPECT_TRUE(FApp->Terminated());

  FApp->SetTerminated(false);
  TerminateSoon();
  ShowErrorBox("Probe", "ends by itself");  // returns: the box was closed
  EXPECT_TRUE(FApp->Terminated());

  FApp->SetTerminated(false);
  auto* pop = LayoutComponent<TPopupMenu>(FForm, "pop");
  auto* item = new TMenuItem(FForm);
  item->SetCaption("never chosen");
  bool clicked = false;
  item->OnClick = [&](TObject*) { clicked = true; };
  pop->Items()->Add(item);
  TerminateSoon();
  pop->Popup(60, 60);
  EXPECT_FALSE(clicked);
  EXPECT_TRUE(FApp->Terminated());
}

TEST_F(Win32BackendTest, EndOfSessionRunsTheDestroyHandlerOnce) {
  int destroyed = 0;
  FForm->OnDestroy = [&](TObject*) { ++destroyed; };
  SendMessageW(FWindow, WM_QUERYENDSESSION, 0, 0);
  EXPECT_EQ(destroyed, 0);
  SendMessageW(FWindow, WM_ENDSESSION, TRUE, 0);
  EXPECT_EQ(destroyed, 1);
  FForm->BeforeDestruction();
  EXPECT_EQ(destroyed, 1);
  FForm->OnDestroy = nullptr;
}

}  // namespace
