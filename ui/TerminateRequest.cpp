#include "ui/Forms.h"
#include "ui/TerminateSignal.h"

namespace ui {

void HandleTerminateRequest() {
  if (!TakeTerminateRequest()) return;
  TApplication* app = FormsApplication();
  if (app && app->MainForm())
    app->MainForm()->Close();
  else if (app)
    app->Terminate();
}

}  // namespace ui
