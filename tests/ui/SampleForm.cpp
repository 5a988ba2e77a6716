// A small form built from a layout table, run by the window and headless tests.
//
// Arguments: --headless (force it), --bounds=L,T,W,H (applied in OnCreate, as
// a program restoring its window would), --fail-create=TEXT, --fail-destroy=TEXT.
// Standard input, one command a line, read by a worker thread that posts a
// message per line: "post" (answered with "posted=N"), "close" (closes the form),
// "error" (shows an error box from the message handler, then says "error shown").
// --sockets=N (after the window is up: raise the descriptor limit, open N UDP
// sockets on 127.0.0.1, and say "sockets port=P handle=H wait=W" for the
// newest, which answers each datagram with "received=TEXT").
// Standard output: "ready", "value=TEXT hooked=N", "menu=TAG", "posted=N",
// "destroyed L T W H".
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "net/WSocket.h"
#include "platform/win32/win32.h"
#include "rtl/SysUtils.h"
#include "ui/Dialogs.h"
#include "ui/ExtCtrls.h"
#include "ui/Forms.h"
#include "ui/Layout.h"
#include "ui/Menus.h"
#include "ui/StdCtrls.h"

namespace {

constexpr win32::UINT WM_SAMPLE_POST = win32::WM_USER + 1;
constexpr win32::UINT WM_SAMPLE_CLOSE = win32::WM_USER + 2;
constexpr win32::UINT WM_SAMPLE_ERROR = win32::WM_USER + 3;
constexpr TColor kPanelColor = 8404992;

const TFormLayout kForm = {"Sample", 120, 90, 185, 166, clBlack};

// clang-format off
const TControlLayout kControls[] = {
  // name       kind         parent   left top  w    h   caption    font     height colour   background
  {"Footer",    ckPanel,     nullptr, 0,   120, 185, 36, "",        nullptr, 0,     clNone,  kPanelColor},
  {"fail",      ckLabel,     "Footer", 36, 4,   106, 28, "fail\nhere", "Arial", 11,  clWhite, clNone,
   crHandPoint, false, taCenter, "failMouseUp"},
  {"Info",      ckPanel,     nullptr, 0,   32,  185, 89, "",        nullptr, 0,     clNone,  kPanelColor},
  {"Head",      ckPanel,     nullptr, 0,   0,   185, 33, "",        nullptr, 0,     clNone,  kPanelColor},
  {"shadow",    ckLabel,     "Head",  44,  5,   90,  24, "SAMPLE",  "Arial", 21,    clGray,  clNone},
  {"titleText", ckLabel,     "Head",  42,  4,   90,  24, "SAMPLE",  "Arial", 21,    clWhite, clNone,
   crDefault, true},
  {"caption",   ckLabel,     "Info",  12,  11,  87,  14, "value:",  "Arial", 11,    clGray,  clNone},
  {"value",     ckLabel,     "Info",  12,  27,  33,  14, "0.0.0.0", "Arial", 11,    clWhite, clNone,
   crHandPoint, false, taLeftJustify, "valueMouseUp"},
  {"pop",       ckPopupMenu, nullptr, 0,   0,   0,   0,  nullptr,   nullptr, 0,     clNone,  clNone},
  {"menu",      ckLabel,     "Info",  12,  64,  124, 14, "(none)",  "Arial", 11,    clWhite, clNone,
   crHandPoint, false, taLeftJustify, "menuMouseUp"},
};
// clang-format on

struct {
  std::string bounds, failCreate, failDestroy, sockets;
} g_options;

int g_keys = 0;
win32::LRESULT CountingHook(int, win32::WPARAM, win32::LPARAM) {
  ++g_keys;
  return 0;
}

void Say(const std::string& line) {
  std::fwrite((line + "\n").data(), 1, line.size() + 1, stdout);
  std::fflush(stdout);
}

std::string Option(int argc, char** argv, const char* name) {
  size_t n = std::strlen(name);
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], name, n) == 0 && argv[i][n] == '=') return argv[i] + n + 1;
  return "";
}

class TSampleForm : public TForm {
 public:
  explicit TSampleForm(TComponent* AOwner) : TForm(AOwner) {
    BuildLayout(
        this, kForm, kControls,
        {{"valueMouseUp",
          [this](TObject*, TMouseButton, TShiftState, int, int) { ValueMouseUp(); }},
         {"menuMouseUp", [this](TObject*, TMouseButton, TShiftState, int, int) { MenuMouseUp(); }},
         {"failMouseUp", [](TObject*, TMouseButton, TShiftState, int, int) {
            throw Exception("Clicked the failing label");
          }}});
    value = LayoutComponent<TLabel>(this, "value");
    menu = LayoutComponent<TLabel>(this, "menu");
    pop = LayoutComponent<TPopupMenu>(this, "pop");
    pop->SetAutoHotkeys(maManual);
    for (const char* caption : {"one", "two & three", "@four"}) {
      auto* item = new TMenuItem(this);
      item->SetCaption(caption);
      item->SetTag(pop->Items()->Count());
      item->SetRadioItem(true);
      item->SetAutoHotkeys(maManual);
      item->OnClick = [this](TObject* Sender) { ItemClick(static_cast<TMenuItem*>(Sender)); };
      pop->Items()->Add(item);
    }
    pop->Items()->Items(0)->SetChecked(true);
    OnCreate = [this](TObject*) { FormCreate(); };
    OnDestroy = [this](TObject*) { FormDestroy(); };
  }

  TLabel* value;
  TLabel* menu;
  TPopupMenu* pop;

 private:
  void FormCreate() {
    int l, t, w, h;
    if (std::sscanf(g_options.bounds.c_str(), "%d,%d,%d,%d", &l, &t, &w, &h) == 4) {
      SetLeft(l);
      SetTop(t);
      SetWidth(w);
      SetHeight(h);
    }
    if (!g_options.failCreate.empty()) throw Exception(g_options.failCreate);
  }
  void FormDestroy() {
    Say("destroyed " + std::to_string(Left()) + " " + std::to_string(Top()) + " " +
        std::to_string(Width()) + " " + std::to_string(Height()));
    if (!g_options.failDestroy.empty()) throw Exception(g_options.failDestroy);
  }
  void ValueMouseUp() {
    g_keys = 0;
    win32::HHOOK hook = win32::SetWindowsHookExA(win32::WH_KEYBOARD, CountingHook, nullptr,
                                                 win32::GetCurrentThreadId());
    std::string text = InputBox(
        "New value", "Type a value (\"0.0.0.0\" for any); this prompt is long enough to wrap",
        value->Caption());
    win32::UnhookWindowsHookEx(hook);
    value->SetCaption(text);
    Say("value=" + text + " hooked=" + std::to_string(g_keys));
  }
  void MenuMouseUp() {
    TPoint p = Mouse->CursorPos();
    pop->Popup(p.x, p.y);
  }
  void ItemClick(TMenuItem* item) {
    item->SetChecked(true);
    menu->SetCaption(item->Caption());
    Say("menu=" + std::to_string(item->Tag()));
  }
};

TSampleForm* SampleForm = nullptr;

// Many sockets after the window: the newest gets a descriptor far above what
// select() can watch, while the loop's own wait handle stays low.
std::vector<TWSocket*> OpenSockets(int Count) {
  rlimit limit;
  if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < rlim_t(Count) + 256) {
    limit.rlim_cur = std::min<rlim_t>(limit.rlim_max, rlim_t(Count) + 256);
    ::setrlimit(RLIMIT_NOFILE, &limit);
  }
  std::vector<TWSocket*> sockets;
  for (int i = 0; i < Count; ++i) {
    auto* s = new TWSocket(nullptr);
    s->SetProto("udp");
    s->SetAddr("127.0.0.1");
    s->SetPort("0");
    s->Listen();
    sockets.push_back(s);
  }
  TWSocket* newest = sockets.back();
  newest->OnDataAvailable = [newest](TObject*, uint16_t) {
    Say("received=" + newest->ReceiveText());
  };
  Say("sockets port=" + newest->BoundPortText() +
      " handle=" + std::to_string(newest->SocketHandle) +
      " wait=" + std::to_string(win32::GetQueueWaitHandle()));
  return sockets;
}
int g_posted = 0;

win32::LRESULT SampleWndProc(win32::HWND hwnd, win32::UINT msg, win32::WPARAM wParam,
                             win32::LPARAM lParam) {
  if (msg == WM_SAMPLE_POST) {
    Say("posted=" + std::to_string(++g_posted));
    return 0;
  }
  if (msg == WM_SAMPLE_ERROR) {
    Application->HandleException(Exception("Posted failure"));
    Say("error shown");
    return 0;
  }
  if (msg == WM_SAMPLE_CLOSE) {
    SampleForm->Close();
    return 0;
  }
  return win32::DefWindowProcA(hwnd, msg, wParam, lParam);
}

}  // namespace

int main(int argc, char** argv) {
  bool headless = false;
  for (int i = 1; i < argc; ++i) headless |= std::strcmp(argv[i], "--headless") == 0;
  g_options.bounds = Option(argc, argv, "--bounds");
  g_options.failCreate = Option(argc, argv, "--fail-create");
  g_options.failDestroy = Option(argc, argv, "--fail-destroy");
  g_options.sockets = Option(argc, argv, "--sockets");

  TApplication app;
  TApplication::ForceHeadless(headless);
  app.Initialize();

  win32::WNDCLASSA wc{};
  wc.lpfnWndProc = SampleWndProc;
  wc.lpszClassName = "SampleMessages";
  win32::RegisterClassA(&wc);
  win32::HWND hwnd = win32::CreateWindowExA(0, "SampleMessages", "", 0, 0, 0, 0, 0, nullptr,
                                            nullptr, nullptr, nullptr);

  app.CreateForm(SampleForm);
  std::thread([hwnd] {
    std::string line;
    while (std::getline(std::cin, line)) {
      if (line == "post") win32::PostMessageA(hwnd, WM_SAMPLE_POST, 0, 0);
      if (line == "close") win32::PostMessageA(hwnd, WM_SAMPLE_CLOSE, 0, 0);
      if (line == "error") win32::PostMessageA(hwnd, WM_SAMPLE_ERROR, 0, 0);
    }
  }).detach();

  Say(app.Headless() ? "ready headless" : "ready window");
  std::vector<TWSocket*> sockets;
  if (!g_options.sockets.empty()) sockets = OpenSockets(std::atoi(g_options.sockets.c_str()));
  app.Run();
  for (TWSocket* s : sockets) delete s;
  app.DestroyForms();
  win32::DestroyWindow(hwnd);
  return 0;
}
