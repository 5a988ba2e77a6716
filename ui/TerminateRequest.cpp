#include "ui/Forms.h"
#include "ui/TerminateSignal.h"

namespace ui {

namespace {
std::function<void()> g_reportHandler;
}

void SetReportRequestHandler(std::function<void()> Handler) {
  g_reportHandler = std::move(Handler);
}

void HandleTerminateRequest() {
  if (TakeReportRequest() && g_reportHandler) g_reportHandler();
  if (!TakeTerminateRequest()) return;
  TApplication* app = FormsApplication();
  if (app && app->MainForm())
    app->MainForm()->Close();
  else if (app)
    app->Terminate();
}

}  // namespace ui
