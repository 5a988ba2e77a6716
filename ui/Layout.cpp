#include "ui/Layout.h"

#include "ui/ExtCtrls.h"
#include "ui/Menus.h"
#include "ui/StdCtrls.h"

namespace {

TFont FontOf(const TFormLayout& f, const TControlLayout& c) {
  TFont font;
  font.Name = c.FontName ? c.FontName : f.FontName;
  font.Height = c.FontHeight ? c.FontHeight : f.FontHeight;
  font.Color = c.FontColor != clNone ? c.FontColor : f.FontColor;
  return font;
}

TControl* MakeControl(TForm* Form, const TControlLayout& c) {
  switch (c.Kind) {
    case ckPanel:
      return new TPanel(Form);
    case ckLabel: {
      auto* l = new TLabel(Form);
      l->SetTransparent(c.Transparent);
      l->SetAlignment(c.Alignment);
      return l;
    }
    case ckPopupMenu:
      break;
  }
  return nullptr;
}

}  // namespace

void BuildLayout(TForm* Form, const TFormLayout& f, const TControlLayout* Controls, size_t Count,
                 const TLayoutHandlers& Handlers) {
  Form->SetCaption(f.Caption ? f.Caption : "");
  Form->SetBorderStyle(f.BorderStyle);
  Form->SetBorderIcons(f.BorderIcons);
  Form->SetColor(f.Color);
  TFont font;
  font.Name = f.FontName;
  font.Height = f.FontHeight;
  font.Color = f.FontColor;
  Form->SetFont(font);
  Form->SetBounds(f.Left, f.Top, f.ClientWidth + DialogFrameLeft + DialogFrameRight,
                  f.ClientHeight + DialogFrameTop + DialogFrameBottom);

  for (size_t i = 0; i < Count; ++i) {
    const TControlLayout& c = Controls[i];
    if (c.Kind == ckPopupMenu) {
      auto* menu = new TPopupMenu(Form);
      menu->SetName(c.Name);
      continue;
    }
    TWinControl* parent = Form;
    if (c.Parent && *c.Parent) {
      parent = dynamic_cast<TWinControl*>(Form->FindComponent(c.Parent));
      if (!parent) throw Exception(std::string("Layout: ") + c.Name + " has no parent " + c.Parent);
    }
    TControl* control = MakeControl(Form, c);
    control->SetName(c.Name);
    if (c.Color != clNone) control->SetColor(c.Color);
    control->SetFont(FontOf(f, c));
    control->SetCursor(c.Cursor);
    control->SetBounds(c.Left, c.Top, c.Width, c.Height);
    control->SetCaption(c.Caption ? c.Caption : "");
    if (c.OnMouseUp && *c.OnMouseUp) {
      auto h = Handlers.find(c.OnMouseUp);
      if (h == Handlers.end()) throw Exception(std::string("Layout: no handler ") + c.OnMouseUp);
      control->OnMouseUp = h->second;
    }
    control->SetParent(parent);
  }
  Form->SetVisible(f.Visible);
}
