#include "rtl/Application.h"

#include "rtl/StderrLine.h"

namespace {
TProcessMessageHook g_hook = nullptr;
TApplicationCore g_defaultCore;
}  // namespace

TApplicationCore* Application = &g_defaultCore;

TApplicationCore::TApplicationCore() : TComponent(nullptr) {}

TApplicationCore::~TApplicationCore() {
  if (Application == this) Application = (this == &g_defaultCore) ? nullptr : &g_defaultCore;
}

void TApplicationCore::ProcessMessages() {
  if (!g_hook) return;
  bool quit = false;
  while (g_hook(quit)) {
    if (quit) {
      FTerminated = true;
      quit = false;
    }
  }
}

void TApplicationCore::HandleException(const std::exception& E) { ShowException(E); }

void TApplicationCore::ShowException(const std::exception& E) {
  WriteStderrLine(FTitle, ErrorBoxText(ExceptionMessage(E)));
}

void TApplicationCore::SetProcessMessageHook(TProcessMessageHook hook) { g_hook = hook; }
TProcessMessageHook TApplicationCore::ProcessMessageHook() { return g_hook; }

std::string ErrorBoxText(const std::string& Message) {
  if (!Message.empty() &&
      static_cast<unsigned char>(Message.back()) > static_cast<unsigned char>('.'))
    return Message + ".";
  return Message;
}

std::string ExceptionMessage(const std::exception& E) {
  if (auto* e = dynamic_cast<const Exception*>(&E)) return e->Message();
  return E.what();
}
