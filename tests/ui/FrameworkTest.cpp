// The framework in-process, on the headless backend: forms from a layout,
// creation and destruction guards, the run loop, menus, dialogs.
#include <gtest/gtest.h>

#include <thread>

#include "platform/win32/win32.h"
#include "tests/support/BlockedInWait.h"
#include "ui/Dialogs.h"
#include "ui/ExtCtrls.h"
#include "ui/Forms.h"
#include "ui/Layout.h"
#include "ui/Menus.h"
#include "ui/StdCtrls.h"

namespace {

const TFormLayout kForm = {"Test", 213, 158, 185, 156, clBlack};
const TControlLayout kControls[] = {
    {"Back", ckPanel, nullptr, 0, 120, 185, 36, "", nullptr, 0, clNone, 8404992},
    {"Front", ckPanel, nullptr, 0, 0, 185, 33, "", nullptr, 0, clNone, 8404992},
    {"title", ckLabel, "Front", 42, 4, 90, 24, "TITLE", "Arial", 21, clWhite, clNone, crDefault,
     true},
    {"pop", ckPopupMenu, nullptr, 0, 0, 0, 0, nullptr, nullptr, 0, clNone, clNone},
    {"ip", ckLabel, "Back", 12, 27, 33, 14, "0.0.0.0", "Arial", 11, clWhite, clNone, crHandPoint,
     false, taLeftJustify, "ipMouseUp"},
};

class TTestForm : public TForm {
 public:
  explicit TTestForm(TComponent* AOwner) : TForm(AOwner) {
    BuildLayout(this, kForm, kControls,
                {{"ipMouseUp", [this](TObject* Sender, TMouseButton Button, TShiftState, int, int) {
                    clicks += Sender == ip && Button == mbRight ? 1 : 100;
                  }}});
    ip = LayoutComponent<TLabel>(this, "ip");
    OnCreate = [this](TObject*) {
      ++created;
      if (failCreate) throw Exception("Cannot create");
    };
    OnDestroy = [this](TObject*) {
      ++*destroyed;
      throw Exception("Cannot destroy!");
    };
  }
  TLabel* ip;
  int clicks = 0;
  int created = 0;
  int* destroyed = nullptr;
  static bool failCreate;
};
bool TTestForm::failCreate = false;

class FrameworkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TApplication::ForceHeadless(true);
    app.Initialize();
  }
  TApplication app;
};

TEST_F(FrameworkTest, LayoutBuildsNamedControlsInTheirParentsInOrder) {
  int destroyed = 0;
  TTestForm* form = nullptr;
  TTestForm::failCreate = false;
  app.CreateForm(form);
  form->destroyed = &destroyed;
  EXPECT_TRUE(app.Headless());
  EXPECT_EQ(app.MainForm(), form);
  EXPECT_EQ(form->created, 1);
  EXPECT_TRUE(form->Showing());
  EXPECT_EQ(form->Caption(), "Test");
  EXPECT_EQ(form->Color(), clBlack);
  EXPECT_EQ(form->Left(), 213);
  EXPECT_EQ(form->Top(), 158);
  EXPECT_EQ(form->ClientWidth(), 185);
  EXPECT_EQ(form->ClientHeight(), 156);
  EXPECT_EQ(form->Width(), 191);
  EXPECT_EQ(form->Height(), 182);

  ASSERT_EQ(form->ControlCount(), 2);
  auto* back = LayoutComponent<TPanel>(form, "Back");
  auto* front = LayoutComponent<TPanel>(form, "front");  // names are found in any case
  EXPECT_EQ(form->Controls(0), back);
  EXPECT_EQ(form->Controls(1), front);
  EXPECT_EQ(back->Color(), 8404992);
  EXPECT_EQ(GetRValue(back->Color()), 0);
  EXPECT_EQ(GetGValue(back->Color()), 64);
  EXPECT_EQ(GetBValue(back->Color()), 128);
  EXPECT_EQ(back->BevelOuter(), bvRaised);
  EXPECT_EQ(back->BevelWidth(), 1);

  auto* title = LayoutComponent<TLabel>(form, "title");
  EXPECT_EQ(title->Parent(), front);
  EXPECT_TRUE(title->Transparent());
  EXPECT_EQ(title->Font().Height, 21);
  EXPECT_EQ(title->Font().Name, "Arial");
  EXPECT_EQ(form->ip->Parent(), back);
  EXPECT_EQ(form->ip->Color(), 8404992);  // the parent's colour
  EXPECT_EQ(form->ip->Cursor(), crHandPoint);
  EXPECT_EQ(form->ip->Font().Color, clWhite);
  // Headless, nothing can measure the text: the layout size stays.
  EXPECT_EQ(form->ip->Width(), 33);
  EXPECT_EQ(form->ip->Height(), 14);

  form->ip->MouseUp(mbRight, 0, 1, 1);
  EXPECT_EQ(form->clicks, 1);
  EXPECT_THROW(LayoutComponent<TLabel>(form, "Back"), Exception);
  EXPECT_THROW(LayoutComponent<TLabel>(form, "nothing"), Exception);

  // Destroying runs OnDestroy once; its exception goes to the top-level handler.
  testing::internal::CaptureStderr();
  app.DestroyForms();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), app.Title() + ": Cannot destroy!\n");
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(app.MainForm(), nullptr);
}

TEST_F(FrameworkTest, FailedCreationIsReportedAndTheFormStillShows) {
  int destroyed = 0;
  TTestForm* form = nullptr;
  TTestForm::failCreate = true;
  testing::internal::CaptureStderr();
  app.CreateForm(form);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), app.Title() + ": Cannot create.\n");
  TTestForm::failCreate = false;
  form->destroyed = &destroyed;
  EXPECT_TRUE(form->Showing());
  EXPECT_EQ(app.MainForm(), form);
  testing::internal::CaptureStderr();
  app.DestroyForms();
  testing::internal::GetCapturedStderr();
}

TEST_F(FrameworkTest, LayoutErrorsNameTheMissingParentOrHandler) {
  TForm form(nullptr);
  const TControlLayout orphan[] = {
      {"x", ckLabel, "Nowhere", 0, 0, 1, 1, "", nullptr, 0, clNone, clNone}};
  EXPECT_THROW(BuildLayout(&form, kForm, orphan), Exception);
  const TControlLayout unbound[] = {{"y", ckLabel, nullptr, 0, 0, 1, 1, "", nullptr, 0, clNone,
                                     clNone, crDefault, false, taCenter, "none"}};
  EXPECT_THROW(BuildLayout(&form, kForm, unbound), Exception);
}

TEST_F(FrameworkTest, ClosingTheMainFormEndsTheRunLoop) {
  int destroyed = 0;
  TTestForm* form = nullptr;
  app.CreateForm(form);
  form->destroyed = &destroyed;
  win32::WNDCLASSA wc{};
  wc.lpfnWndProc = [](win32::HWND h, win32::UINT m, win32::WPARAM w,
                      win32::LPARAM l) -> win32::LRESULT {
    if (m == win32::WM_USER) FormsApplication()->MainForm()->Close();
    return win32::DefWindowProcA(h, m, w, l);
  };
  wc.lpszClassName = "FrameworkTestClose";
  win32::RegisterClassA(&wc);
  win32::HWND hwnd = win32::CreateWindowExA(0, "FrameworkTestClose", "", 0, 0, 0, 0, 0, nullptr,
                                            nullptr, nullptr, nullptr);
  ASSERT_NE(hwnd, nullptr);
  // Posted from another thread once the loop sleeps.
  bool blocked = false;
  std::thread poster([hwnd, &blocked, tid = testsupport::KernelThreadId()] {
    blocked = testsupport::BlockedInWait(tid);
    win32::PostMessageA(hwnd, win32::WM_USER, 0, 0);
  });
  app.Run();
  poster.join();
  EXPECT_TRUE(blocked) << "the loop never slept";
  EXPECT_TRUE(app.Terminated());
  EXPECT_FALSE(form->Showing());
  EXPECT_EQ(destroyed, 0);  // closing is not destroying
  testing::internal::CaptureStderr();
  app.DestroyForms();
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(destroyed, 1);
  win32::DestroyWindow(hwnd);
  win32::UnregisterClassA("FrameworkTestClose", nullptr);
}

TEST_F(FrameworkTest, RadioItemsShareOneCheckMarkPerGroup) {
  TPopupMenu menu(nullptr);
  TMenuItem* items[3];
  for (int i = 0; i < 3; ++i) {
    items[i] = new TMenuItem(&menu);
    items[i]->SetRadioItem(true);
    items[i]->SetTag(i);
    menu.Items()->Add(items[i]);
  }
  items[0]->SetChecked(true);
  items[2]->SetChecked(true);
  EXPECT_FALSE(items[0]->Checked());
  EXPECT_TRUE(items[2]->Checked());
  EXPECT_EQ(menu.Items()->Items(1), items[1]);
  try {
    menu.Items()->Items(3);
    FAIL() << "no exception";
  } catch (const EListError& e) {
    EXPECT_EQ(e.Message(), "List index out of bounds (3)");
  }
  int clicked = -1;
  items[1]->OnClick = [&](TObject* Sender) { clicked = static_cast<TMenuItem*>(Sender)->Tag(); };
  items[1]->Click();
  EXPECT_EQ(clicked, 1);
  delete items[1];  // leaves the menu as it goes
  EXPECT_EQ(menu.Items()->Count(), 2);
  menu.Popup(10, 10);  // headless: nothing to show, nothing chosen
  EXPECT_EQ(clicked, 1);
}

TEST_F(FrameworkTest, HeadlessDialogsAnswerWithTheDefaultAndWriteTheErrorLine) {
  EXPECT_EQ(InputBox("New local port", "1024..65535", "55555"), "55555");
  std::string value = "x";
  EXPECT_FALSE(InputQuery("c", "p", value));
  EXPECT_EQ(value, "x");
  testing::internal::CaptureStderr();
  ShowErrorBox("Vorlanx", "'4000x' is not a valid integer value.");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Vorlanx: '4000x' is not a valid integer value.\n");
  TPoint p = Mouse->CursorPos();
  EXPECT_EQ(p.x, 0);
  EXPECT_EQ(p.y, 0);
}

TEST(ApplicationTitle, IsTheExecutableNameUpToItsFirstDot) {
  TApplication app;
  EXPECT_EQ(app.Title(), "ui_tests");
  EXPECT_EQ(Application, &app);
}

}  // namespace
