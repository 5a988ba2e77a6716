#include "ui/Forms.h"

#include <exception>
#include <vector>

#include "platform/win32/win32.h"
#include "rtl/SysUtils.h"
#include "ui/Backend.h"
#include "ui/TerminateSignal.h"

namespace {

bool g_forceHeadless = false;
TMouse g_mouse;

// Runs an event handler; what it throws goes to the application's handler.
void Guarded(const TNotifyEvent& handler, TObject* sender) {
  if (!handler) return;
  try {
    handler(sender);
  } catch (const std::exception& e) {
    Application->HandleException(e);
  }
}

// The executable's file name up to its first ".", every character after the
// first in lower case.
std::string DefaultTitle() {
  char path[1501] = {0};
  win32::DWORD n = win32::GetModuleFileNameA(nullptr, path, sizeof path);
  std::string name(path, n < sizeof path ? n : sizeof path - 1);
  size_t slash = name.find_last_of("/\\");
  if (slash != std::string::npos) name = name.substr(slash + 1);
  name = name.substr(0, name.find('.'));
  if (name.size() > 1) name = name.substr(0, 1) + LowerCase(name.substr(1));
  return name;
}

}  // namespace

TMouse* Mouse = &g_mouse;

namespace ui {

void Guarded(const std::function<void()>& f) {
  try {
    f();
  } catch (const std::exception& e) {
    Application->HandleException(e);
  }
}

}  // namespace ui

TPoint TMouse::CursorPos() const { return UiBackend() ? UiBackend()->CursorPos() : TPoint{}; }

TApplication* FormsApplication() { return dynamic_cast<TApplication*>(Application); }

TUiBackend* UiBackend() {
  TApplication* app = FormsApplication();
  return app ? app->Backend() : nullptr;
}

// ---- TForm -----------------------------------------------------------------

TForm::TForm(TComponent* AOwner) : TWinControl(AOwner) {
  FVisible = false;
  FColor = clSilver;
  FWidth = DialogFrameLeft + DialogFrameRight;
  FHeight = DialogFrameTop + DialogFrameBottom;
}

TForm::~TForm() {
  Destroying();
  BeforeDestruction();
  DestroyPeers();
}

int TForm::Left() const {
  int l = FLeft, t = FTop;
  if (FormPeer() && FShowing) FormPeer()->ScreenPosition(l, t);
  return l;
}

int TForm::Top() const {
  int l = FLeft, t = FTop;
  if (FormPeer() && FShowing) FormPeer()->ScreenPosition(l, t);
  return t;
}

void TForm::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  if (ALeft == FLeft) ALeft = Left();
  if (ATop == FTop) ATop = Top();
  TWinControl::SetBounds(ALeft, ATop, AWidth, AHeight);
}

void TForm::SetBorderStyle(TFormBorderStyle value) {
  FBorderStyle = value;
  Changed();
}

void TForm::SetBorderIcons(TBorderIcons value) {
  FBorderIcons = value;
  Changed();
}

void TForm::AfterConstruction() {
  if (FCreated) return;
  FCreated = true;
  Guarded(OnCreate, this);
  if (FVisible) Show();
}

void TForm::BeforeDestruction() {
  if (FDestroyed) return;
  FDestroyed = true;
  Guarded(OnDestroy, this);
}

void TForm::Show() {
  FVisible = true;
  CreatePeers();
  if (FormPeer()) FormPeer()->Show();
  FShowing = true;
}

void TForm::Hide() {
  if (FormPeer() && FShowing) {
    // Keep where the user left the window.
    FormPeer()->ScreenPosition(FLeft, FTop);
    FormPeer()->Hide();
  }
  FShowing = false;
  FVisible = false;
}

void TForm::SetVisible(bool value) {
  if (!FCreated || IsDestroying()) {
    FVisible = value;
    return;
  }
  if (value)
    Show();
  else
    Hide();
}

void TForm::Close() {
  Hide();
  TApplication* app = FormsApplication();
  if (app && app->MainForm() == this) app->Terminate();
}

TComponent* TForm::FindComponent(const std::string& AName) const {
  for (int i = 0; i < ComponentCount(); ++i)
    if (UpperCase(Components(i)->Name()) == UpperCase(AName)) return Components(i);
  return nullptr;
}

void TForm::CreatePeers() {
  if (!FPeer && UiBackend()) FPeer = UiBackend()->CreateFormPeer(this);
  if (!FPeer) return;
  for (int i = 0; i < ControlCount(); ++i) Controls(i)->CreatePeers();
}

TFormPeer* TForm::FormPeer() const { return static_cast<TFormPeer*>(FPeer); }

// ---- TApplication ----------------------------------------------------------

TApplication::TApplication() {
  SetTitle(DefaultTitle());
  Application = this;
}

TApplication::~TApplication() {
  Destroying();
  DestroyForms();
  ui::RemoveTerminateSignals();
}

void TApplication::ForceHeadless(bool value) { g_forceHeadless = value; }

void TApplication::Initialize() {
  if (FBackend) return;
  if (!g_forceHeadless) FBackend = ui::CreateWindowBackend();
  if (!FBackend) FBackend = ui::CreateHeadlessBackend();
  ui::InstallTerminateSignals();
}

void TApplication::Terminate() {
  TApplicationCore::Terminate();
  if (FBackend) FBackend->Terminating();
}

bool TApplication::Headless() const { return !FBackend || FBackend->Headless(); }

bool TApplication::DisplayLost() const { return FBackend && FBackend->DisplayLost(); }

void TApplication::AddForm(TForm* Form) {
  Form->AfterConstruction();
  if (!FMainForm) FMainForm = Form;
}

void TApplication::Run() {
  if (!FMainForm) return;
  if (!FMainForm->Showing()) FMainForm->Show();
  while (!Terminated()) HandleMessage();
}

void TApplication::HandleMessage() {
  try {
    if (FBackend)
      FBackend->HandleMessage();
    else if (win32::WaitForQueue(-1))
      TApplicationCore::ProcessMessages();
  } catch (const std::exception& e) {
    HandleException(e);
  }
}

void TApplication::ProcessMessages() {
  TApplicationCore::ProcessMessages();
  if (FBackend) FBackend->ProcessEvents();
}

void TApplication::ShowException(const std::exception& E) {
  if (FBackend)
    FBackend->ErrorBox(Title(), ErrorBoxText(ExceptionMessage(E)));
  else
    TApplicationCore::ShowException(E);
}

void TApplication::DestroyForms() {
  // Last created first, as the owner would; OnDestroy runs while the form is whole.
  for (int i = ComponentCount(); i-- > 0;) {
    if (i >= ComponentCount()) continue;
    TComponent* c = Components(i);
    if (TForm* f = dynamic_cast<TForm*>(c)) f->BeforeDestruction();
    if (c == FMainForm) FMainForm = nullptr;
    delete c;
  }
}

#if defined(__SANITIZE_ADDRESS__)
// The font and X libraries under the FLTK backend keep caches for the life of
// the process that the leak checker would report at every exit.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libXft.so\nleak:libX11.so\nleak:libfltk.so\n";
}
#endif
