// What a window backend provides to the framework: peers that show forms and
// controls, the wait for events, the dialogs, the popup menu and the mouse.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "ui/Graphics.h"

class TControl;
class TForm;
class TMenuItem;
class TPopupMenu;

// The backend's side of one control.
class TControlPeer {
 public:
  virtual ~TControlPeer() = default;
  // Position, size, caption, colour, font, cursor or visibility changed.
  virtual void Changed() = 0;
};

// The backend's side of one form: a top-level window.
class TFormPeer : public TControlPeer {
 public:
  virtual void Show() = 0;
  virtual void Hide() = 0;
  // The window's outer top-left corner on the screen as it is now (the user may
  // have moved it). Returns false when the window does not know better than the form.
  virtual bool ScreenPosition(int& Left, int& Top) = 0;
};

class TUiBackend {
 public:
  virtual ~TUiBackend() = default;

  virtual bool Headless() const = 0;
  // The display went away while the program ran.
  virtual bool DisplayLost() const { return false; }

  // Peers: nullptr when the backend shows nothing.
  virtual TFormPeer* CreateFormPeer(TForm* Form) = 0;
  virtual TControlPeer* CreateControlPeer(TControl* Control) = 0;

  // Waits (without spinning) until something happens, then handles it: window
  // events, the thread's posted messages, a termination request.
  virtual void HandleMessage() = 0;
  // Handles whatever is pending without waiting.
  virtual void ProcessEvents() = 0;
  // The application was asked to end: modal loops open now end as if
  // cancelled (those opened later, such as an error while saving, stay).
  virtual void Terminating() {}

  // The modal input dialog: returns true on OK (Value holds the text).
  virtual bool InputQuery(const std::string& Caption, const std::string& Prompt,
                          std::string& Value) = 0;
  virtual void ErrorBox(const std::string& Title, const std::string& Text) = 0;
  virtual void Popup(TPopupMenu* Menu, int X, int Y) = 0;
  virtual TPoint CursorPos() = 0;
  // The size of a text in a font; false when the backend cannot measure.
  virtual bool TextExtent(const TFont& Font, const std::string& Text, int& Width, int& Height) = 0;
};

// The backend of the running application (nullptr before Initialize).
TUiBackend* UiBackend();

namespace ui {
// The backends: the window system's (FLTK on Linux, Win32 on Windows, chosen
// by the build) returns nullptr when no window can be shown.
TUiBackend* CreateWindowBackend();
TUiBackend* CreateHeadlessBackend();

// For the backends: runs a handler; what it throws goes to the application's
// top-level handler.
void Guarded(const std::function<void()>& f);
// Clicks the item at Index of those a popup menu showed (Shown), unless the
// menu's items changed while it was open (messages keep being handled).
void ClickShownItem(TPopupMenu* Menu, const std::vector<TMenuItem*>& Shown, size_t Index);
}  // namespace ui
