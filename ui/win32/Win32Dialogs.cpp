// The input dialog (a modal dialog from a template in memory) and the error
// box (the system's message box). Both run the system's modal loop, which
// dispatches every message of the thread, so sockets keep being served.
#include <algorithm>
#include <vector>

#include "ui/win32/Win32Internal.h"

namespace ui {
namespace win32ui {
namespace {

constexpr WORD kPromptId = 100;
constexpr WORD kEditId = 101;
constexpr int kMaxLength = 255;

// Pixel layout of the dialog (its font is the system's dialog font).
constexpr int kMargin = 10;
constexpr int kWidth = 300;  // client width
constexpr int kEditHeight = 22;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;

// A dialog template as the system reads it: DWORD-aligned records of WORDs.
class TTemplate {
 public:
  TTemplate(DWORD style, const std::wstring& title, WORD fontSize, const std::wstring& font) {
    Dword(style);
    Dword(0);  // extended style
    FCountAt = FWords.size();
    Word(0);  // item count, filled in by Add
    for (int i = 0; i < 4; ++i) Word(0);  // x, y, cx, cy: set when the dialog starts
    Word(0);  // no menu
    Word(0);  // the standard dialog class
    Text(title);
    Word(fontSize);
    Text(font);
  }
  // A control of a predefined class (0x0080 button, 0x0081 edit, 0x0082 static).
  void Add(DWORD style, WORD id, WORD atom, const std::wstring& text) {
    Align();
    Dword(style | WS_CHILD | WS_VISIBLE);
    Dword(0);
    for (int i = 0; i < 4; ++i) Word(1);  // placed in pixels when the dialog starts
    Word(id);
    Word(0xFFFF);
    Word(atom);
    Text(text);
    Word(0);  // no creation data
    ++FWords[FCountAt];
  }
  const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(FWords.data()); }

 private:
  void Word(WORD w) { FWords.push_back(w); }
  void Dword(DWORD d) {
    Word(LOWORD(d));
    Word(HIWORD(d));
  }
  void Text(const std::wstring& s) {
    for (wchar_t c : s) Word(static_cast<WORD>(c));
    Word(0);
  }
  void Align() {
    if (FWords.size() % 2) Word(0);
  }
  std::vector<WORD> FWords;
  size_t FCountAt = 0;
};

struct TQuery {
  std::string caption, prompt, value;
  bool ok = false;
};

std::string Utf8(const std::wstring& w) {
  if (w.empty()) return std::string();
  int n = ::WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                nullptr, nullptr);
  std::string out(static_cast<size_t>(std::max(n, 0)), '\0');
  if (n > 0)
    ::WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), &out[0], n, nullptr,
                          nullptr);
  return out;
}

void Place(HWND dialog, int id, int x, int y, int w, int h) {
  ::MoveWindow(::GetDlgItem(dialog, id), x, y, w, h, FALSE);
}

// Lays the dialog out around the prompt, wrapped to the width, and centres it
// on the screen.
void Arrange(HWND dialog, const std::wstring& prompt) {
  HWND label = ::GetDlgItem(dialog, kPromptId);
  HDC dc = ::GetDC(label);
  HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(dialog, WM_GETFONT, 0, 0)));
  RECT text{0, 0, kWidth - 2 * kMargin, 0};
  ::DrawTextW(dc, prompt.empty() ? L" " : prompt.c_str(), -1, &text,
              DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
  ::SelectObject(dc, old);
  ::ReleaseDC(label, dc);
  const int promptHeight = text.bottom - text.top;
  const int editTop = kMargin + promptHeight + 6;
  const int buttonTop = editTop + kEditHeight + 12;
  const int height = buttonTop + kButtonHeight + kMargin;
  Place(dialog, kPromptId, kMargin, kMargin, kWidth - 2 * kMargin, promptHeight);
  Place(dialog, kEditId, kMargin, editTop, kWidth - 2 * kMargin, kEditHeight);
  Place(dialog, IDOK, kWidth - 2 * (kButtonWidth + kMargin), buttonTop, kButtonWidth,
        kButtonHeight);
  Place(dialog, IDCANCEL, kWidth - kButtonWidth - kMargin, buttonTop, kButtonWidth,
        kButtonHeight);
  RECT outer{0, 0, kWidth, height};
  ::AdjustWindowRectEx(&outer, static_cast<DWORD>(::GetWindowLongPtrW(dialog, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(::GetWindowLongPtrW(dialog, GWL_EXSTYLE)));
  const int w = outer.right - outer.left, h = outer.bottom - outer.top;
  const int sw = ::GetSystemMetrics(SM_CXSCREEN), sh = ::GetSystemMetrics(SM_CYSCREEN);
  ::SetWindowPos(dialog, nullptr, (sw - w) / 2, (sh - h) / 2, w, h, SWP_NOZORDER);
}

INT_PTR CALLBACK QueryProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* q = reinterpret_cast<TQuery*>(::GetWindowLongPtrW(dialog, DWLP_USER));
  switch (msg) {
    case WM_INITDIALOG: {
      q = reinterpret_cast<TQuery*>(lParam);
      ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
      const std::wstring prompt = Wide(q->prompt);
      ::SetWindowTextW(dialog, Wide(q->caption).c_str());
      ::SetDlgItemTextW(dialog, kPromptId, prompt.c_str());
      // Laid out first: an edit field still too narrow would scroll its text away.
      Arrange(dialog, prompt);
      HWND edit = ::GetDlgItem(dialog, kEditId);
      ::SendMessageW(edit, EM_LIMITTEXT, kMaxLength, 0);
      ::SetWindowTextW(edit, Wide(q->value).c_str());
      ::SendMessageW(edit, EM_SETSEL, 0, -1);
      ::SetFocus(edit);
      return FALSE;  // the focus is set
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK && q) {
        HWND edit = ::GetDlgItem(dialog, kEditId);
        std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(edit)) + 1, L'\0');
        text.resize(static_cast<size_t>(
            ::GetWindowTextW(edit, &text[0], static_cast<int>(text.size()))));
        q->value = Utf8(text);
        q->ok = true;
        ::EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {  // Cancel, Esc and the close button
        ::EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      break;
    default:
      break;
  }
  return FALSE;
}

BOOL CALLBACK EndOne(HWND window, LPARAM) {
  wchar_t name[16] = {0};
  ::GetClassNameW(window, name, 16);
  // Dialogs and message boxes alike, shown yet or not: as if cancelled (a box
  // with only OK ends too).
  if (lstrcmpW(name, L"#32770") == 0)
    ::PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
  return TRUE;
}

}  // namespace

bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) {
  TTemplate t(DS_MODALFRAME | DS_SETFONT | DS_SHELLFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU,
              L"", 8, L"MS Shell Dlg");
  t.Add(SS_LEFT | SS_NOPREFIX, kPromptId, 0x0082, L"");
  t.Add(ES_LEFT | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, kEditId, 0x0081, L"");
  t.Add(BS_DEFPUSHBUTTON | WS_TABSTOP, IDOK, 0x0080, L"OK");
  t.Add(BS_PUSHBUTTON | WS_TABSTOP, IDCANCEL, 0x0080, L"Cancel");
  TQuery q{caption, prompt, value};
  INT_PTR r = ::DialogBoxIndirectParamW(::GetModuleHandleW(nullptr), t.Get(), MainWindow(),
                                        &QueryProc, reinterpret_cast<LPARAM>(&q));
  if (r == IDOK && q.ok) {
    value = q.value;
    return true;
  }
  return false;
}

void ErrorBox(const std::string& title, const std::string& text) {
  HWND owner = MainWindow();
  ::MessageBoxA(owner, Ansi(text).c_str(), Ansi(title).c_str(),
                MB_OK | MB_ICONERROR | MB_SETFOREGROUND | (owner ? 0 : MB_TASKMODAL));
}

void EndModalLoops() {
  ::EndMenu();
  ::EnumThreadWindows(::GetCurrentThreadId(), &EndOne, 0);
}

}  // namespace win32ui
}  // namespace ui
