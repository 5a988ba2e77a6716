// Shared by the files of the FLTK backend; not part of the framework's interface.
#pragma once

#include <FL/Enumerations.H>

#include <functional>
#include <string>

#include "ui/Backend.h"

class Fl_Window;

namespace ui {
namespace fltk {

Fl_Color ColorOf(TColor c);
// The FLTK font for a face name: "Arial" and its kin map to the metric-compatible Liberation faces.
Fl_Font FontOf(const TFont& font);

TFormPeer* NewFormPeer(TForm* form);
TControlPeer* NewControlPeer(TControl* control);

bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value);
void ErrorBox(const std::string& title, const std::string& text);
void Popup(TPopupMenu* menu, int x, int y);

// True once the X server has gone away; nothing is asked of it from then on.
bool DisplayLost();

// Shows a modal window and handles events until it is hidden. Ends early when
// the application is asked to terminate while it is open.
void RunModal(Fl_Window* window);
// Centres a window on the screen and keeps the user from resizing it.
void PlaceDialog(Fl_Window* window);

// Runs the thread's keyboard hooks for a key event; false when a hook ate it.
bool KeyPassesHooks(int event);

// The window manager's frame around a shown window (all 0 without one).
void FrameExtents(Fl_Window* window, int& left, int& top);
// Asks the window manager for a frame with only the system menu and close button.
void SetDialogDecorations(Fl_Window* window);
// Handles events until a shown window is on the screen, or the display is gone.
void WaitForExpose(Fl_Window* window);
// Gives a shown window the keyboard.
void TakeInputFocus(Fl_Window* window);

}  // namespace fltk
}  // namespace ui
