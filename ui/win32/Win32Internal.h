// Shared by the files of the Win32 backend; not part of the framework's
// interface (it brings in <windows.h>, which no header of the upper layers may).
// Include it last: the framework's own names (RGB, TRUE) must be declared
// before Windows turns them into macros.
#pragma once

#include <functional>
#include <string>

#include "rtl/Application.h"
#include "rtl/SysUtils.h"
#include "ui/Backend.h"
#include "ui/ExtCtrls.h"
#include "ui/Forms.h"
#include "ui/Menus.h"
#include "ui/StdCtrls.h"

#include <windows.h>

namespace ui {
namespace win32ui {

// Texts are bytes: UTF-8 where they are valid UTF-8 (the program's own
// literals), otherwise the ANSI code page (what the system's A functions give).
std::wstring Wide(const std::string& text);
// The same text for an A function: valid UTF-8 turned into the ANSI code page.
std::string Ansi(const std::string& text);

// A GDI font for the framework's font, made once and kept for the process.
// A face the system lacks (Wine has no Arial) becomes a metric-compatible one.
HFONT FontOf(const TFont& font);
COLORREF ColorOf(TColor c);
// The size of a text (lines broken at LF) in a font.
void MeasureText(const TFont& font, const std::string& text, int& width, int& height);

TFormPeer* NewFormPeer(TForm* form);
TControlPeer* NewControlPeer(TControl* control);
// The window of the application's main form while it is shown (owner of dialogs).
HWND MainWindow();

bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value);
void ErrorBox(const std::string& title, const std::string& text);
void Popup(TPopupMenu* menu, int x, int y);

// Takes one message off the queue and dispatches it; false when there was none.
bool DispatchOne();

// The modal loops open now (dialogs, error boxes, the menu) end as if cancelled:
// the application is terminating. Those opened afterwards stay until answered.
void EndModalLoops();

// Lets TApplicationCore::ProcessMessages (which the sockets' waiting loops
// call) pump the system's queue, unless the platform layer already does.
void ServeSystemQueue();

// Whether a top-level window can be made (Wine without a display cannot).
bool CanCreateWindows();

}  // namespace win32ui
}  // namespace ui
