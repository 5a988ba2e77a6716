// Forms and the application object of the window framework.
//
//   int main() {
//     TApplication app;                 // becomes the global Application
//     app.Initialize();                 // opens the display, or runs headless
//     app.CreateForm(MainWindow);       // builds it, runs OnCreate, shows it
//     app.Run();                        // until the main form is closed
//   }                                   // forms destroyed here: OnDestroy runs
#pragma once

#include <string>

#include "rtl/Application.h"
#include "ui/Controls.h"

class TFormPeer;
class TUiBackend;

enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };

enum TBorderIcon : unsigned { biSystemMenu = 1u << 0, biMinimize = 1u << 1, biMaximize = 1u << 2 };
using TBorderIcons = unsigned;

// The frame a dialog window gets around its client area; the outer size of a
// form is its client size plus this frame, whatever the window manager draws,
// so that a size written out and read back gives the same client area.
constexpr int DialogFrameLeft = 3;
constexpr int DialogFrameTop = 23;
constexpr int DialogFrameRight = 3;
constexpr int DialogFrameBottom = 3;

class TForm : public TWinControl {
 public:
  explicit TForm(TComponent* AOwner);
  ~TForm() override;

  // Position of the outer frame on the screen; follows the window when the user
  // moves it. Width and Height (of TControl) are the outer size.
  int Left() const;
  int Top() const;
  int ClientWidth() const { return FWidth - DialogFrameLeft - DialogFrameRight; }
  int ClientHeight() const { return FHeight - DialogFrameTop - DialogFrameBottom; }
  void SetClientWidth(int value) { SetWidth(value + DialogFrameLeft + DialogFrameRight); }
  void SetClientHeight(int value) { SetHeight(value + DialogFrameTop + DialogFrameBottom); }
  // A change of size only keeps the window where the user moved it.
  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;

  TFormBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TFormBorderStyle value);
  TBorderIcons BorderIcons() const { return FBorderIcons; }
  void SetBorderIcons(TBorderIcons value);

  // OnCreate runs once the form is built (from TApplication::CreateForm), and
  // OnDestroy before it is torn down; an exception from either goes to
  // Application->HandleException.
  TNotifyEvent OnCreate;
  TNotifyEvent OnDestroy;
  // Runs OnCreate (guarded) and shows the form when it is Visible.
  virtual void AfterConstruction();
  // Runs OnDestroy (guarded) once; deleting a form does it too, but a derived
  // form whose handler uses its own fields must be deleted by the application or
  // call this first in its destructor.
  virtual void BeforeDestruction();

  void Show();
  void Hide();
  // Hides the form; closing the main form ends the application's run loop.
  virtual void Close();
  bool Showing() const { return FShowing; }
  void SetVisible(bool value) override;

  // Finds an owned component by name (case-insensitively); nullptr if none.
  TComponent* FindComponent(const std::string& AName) const;

  void CreatePeers() override;
  TFormPeer* FormPeer() const;

 private:
  TFormBorderStyle FBorderStyle = bsSizeable;
  TBorderIcons FBorderIcons = biSystemMenu | biMinimize | biMaximize;
  bool FShowing = false;
  bool FCreated = false;
  bool FDestroyed = false;
};

class TApplication : public TApplicationCore {
 public:
  TApplication();
  ~TApplication() override;

  // Chooses the backend: a window on the display when one can be opened,
  // headless otherwise (or always, after ForceHeadless).
  void Initialize();
  static void ForceHeadless(bool value);
  bool Headless() const;
  // True once the window's display went away (the X server ended); the
  // application is then terminated and shows nothing more.
  bool DisplayLost() const;

  // Creates a form owned by the application, builds it and runs OnCreate; the
  // first form created becomes the main form.
  template <class T>
  void CreateForm(T*& Reference) {
    Reference = new T(this);
    AddForm(Reference);
  }
  TForm* MainForm() const { return FMainForm; }

  // Handles events and messages until the application is terminated.
  void Run();
  // Waits for and handles one batch of events and messages.
  void HandleMessage();
  void ProcessMessages() override;
  // A backend also serves window events or the termination signal.
  bool ServesQueueOnly() const override { return FBackend == nullptr; }
  void ShowException(const std::exception& E) override;
  // Also ends the modal loops open now (dialogs, the menu, error boxes).
  void Terminate() override;

  // Destroys every form (OnDestroy first); the destructor does it too.
  void DestroyForms();

  TUiBackend* Backend() const { return FBackend; }

 private:
  void AddForm(TForm* Form);

  TUiBackend* FBackend = nullptr;  // process-wide; not owned
  TForm* FMainForm = nullptr;
};

// The application object when it is a TApplication (nullptr otherwise).
TApplication* FormsApplication();

// The mouse.
class TMouse {
 public:
  // The cursor's position on the screen.
  TPoint CursorPos() const;
};
extern TMouse* Mouse;
