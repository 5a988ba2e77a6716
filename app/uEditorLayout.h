// The relay window's layout: its controls as a table, in declaration order.
#pragma once

#include "ui/Layout.h"

// Builds the window's controls on Form; the mouse-up handlers are looked up
// in Handlers by the names "ipMouseUp", "portMouseUp" and "midioutMouseUp".
void BuildPluginEditorLayout(TForm* Form, const TLayoutHandlers& Handlers);
