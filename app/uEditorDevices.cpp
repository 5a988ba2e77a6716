// The relay window's device menu, and how the relay finds its output again
// when the MIDI server goes away and comes back (or was not there at start),
// or when the destination alone goes and comes back (a synthesiser restarted).
#include <exception>

#include "app/uEditor.h"
#include "midi/Midi.h"
#include "platform/winmm/winmm.h"
#include "rtl/StderrLine.h"
#include "rtl/SysUtils.h"
#include "ui/Dialogs.h"

namespace {

// A look for a lost output costs an enumeration; at most this often.
constexpr uint32_t kReopenIntervalMs = 1000;
const char kNoOutputCaption[] = "(no MIDI-Out ports found!)";

bool WindowShown() {
  TApplication* app = dynamic_cast<TApplication*>(Application);
  return app != nullptr && !app->Headless();
}

std::string Title() { return Application ? Application->Title() : std::string("vorlanx"); }

}  // namespace

void TPluginEditorWindow::BuildDeviceMenu() {
  TMenuItem* items = pop->Items();
  // The same devices as shown: the items stay, so that a choice in a menu
  // open meanwhile still counts.
  TMidiOutput* out = MidiOutput();
  bool same = items->Count() == out->FDevices.Count();
  for (int i = 0; same && i < items->Count(); ++i)
    same = items->Items(i)->Caption() == out->FDevices.Strings(i);
  if (same && items->Count() > 0) return;
  while (items->Count() > 0) {
    TMenuItem* old = items->Items(items->Count() - 1);
    items->Remove(old);
    delete old;
  }
  for (TMenuItem*& slot : FDeviceItems) slot = nullptr;
  // Every device gets a menu entry, also past the recorded slots: a device the
  // menu did not offer could not be chosen at all.
  for (int i = 0; i < MidiOutput()->FDevices.Count(); ++i) {
    auto* item = new TMenuItem(this);
    if (i < DeviceSlots) FDeviceItems[i] = item;
    item->SetCaption(MidiOutput()->FDevices.Strings(i));
    item->OnClick = [this](TObject* Sender) { DeviceItemClick(Sender); };
    item->SetRadioItem(true);
    item->SetTag(i);
    item->SetAutoHotkeys(maManual);
    if (i == 0) {
      ShowDeviceName(MidiOutput()->FDevices.Strings(0));
      item->SetChecked(true);
    }
    items->Add(item);
  }
}

int TPluginEditorWindow::DeviceByName(const std::string& Name) const {
  if (Name.empty()) return -1;
  TMidiOutput* out = MidiOutput();
  for (int i = 0; i < out->FDevices.Count(); ++i)
    if (out->FDevices.Strings(i) == Name) return i;
  return -1;
}

// The name as far as the label can show it inside the window: a long one
// keeps its start and end, as the registry shortens names.
void TPluginEditorWindow::ShowDeviceName(const std::string& Name) {
  midiout->SetCaption(Name);
  const int room = ClientWidth() - midiout->Left() - midiout->Parent()->Left() - 4;
  for (size_t bytes = Name.size(); bytes > 1 && midiout->Width() > room; --bytes)
    midiout->SetCaption(ShortenMiddle(Name, bytes - 1));
}

// The device named in the settings, not among today's: shown as the one
// chosen, with no device of the menu checked.
void TPluginEditorWindow::ShowAwaitedDevice() {
  TMenuItem* items = pop->Items();
  for (int i = 0; i < items->Count(); ++i) items->Items(i)->SetChecked(false);
  ShowDeviceName(FDeviceName);
}

void TPluginEditorWindow::SelectStoredDevice() {
  TMenuItem* items = pop->Items();
  if (items->Count() == 0) return;
  if (FOutputLost) return ShowAwaitedDevice();
  // A device removed since the last run: the first one, as shown, is the one used.
  if (FDeviceIndex < 0 || FDeviceIndex >= items->Count())
    items->Items(0)->Click();
  else
    items->Items(FDeviceIndex)->Click();
}

void TPluginEditorWindow::DeviceItemClick(TObject* Sender) {
  auto* item = static_cast<TMenuItem*>(Sender);
  item->SetChecked(true);
  ShowDeviceName(item->Caption());
  FDeviceName = item->Caption();
  try {
    MidiOutput()->CloseDevice(FDeviceIndex);
  } catch (const std::exception&) {
  }
  FDeviceIndex = item->Tag();
  FDestinationLost = false;
  FLossesSeen = 0;
  try {
    MidiOutput()->OpenDevice(FDeviceIndex);
    FOutputLost = false;
  } catch (const std::exception&) {
    // Its destination went away since the list was taken: looked for by
    // name like any lost output, not opened again for every datagram.
    if (MidiOutput()->FLastResult == static_cast<int32_t>(winmm::MIDIERR_NODEVICE))
      FOutputLost = true;
  }
}

// A failure to send is left to the socket, which drops the datagram and keeps
// receiving; only the loss of the whole output is handled here.
bool TPluginEditorWindow::PlayDatagram(const std::string& Data) {
  const auto status = static_cast<uint8_t>(Data[0]);
  const auto data1 = static_cast<uint8_t>(Data[1]);
  const auto data2 = static_cast<uint8_t>(Data[2]);
  // Dropped, as a failed send would be: a note played late is worse than none.
  if (FDestinationLost) {
    // Its server may go meanwhile too, which nothing says: a look once a second.
    if (LookNow()) DevicesChanged();
    if (FDestinationLost) return false;
  }
  if (FOutputLost && !ReopenOutput()) return false;
  try {
    MidiOutput()->SendShortMessage(FDeviceIndex, status, data1, data2);
  } catch (const std::exception&) {
    // The destination went away before its notification came through.
    if (MidiOutput()->FLastResult == static_cast<int32_t>(winmm::MIDIERR_NODEVICE)) {
      DevicesChanged();
      return false;
    }
    if (!OutputGone()) throw;
    SayOutputLost();
    if (!ReopenOutput()) return false;
    MidiOutput()->SendShortMessage(FDeviceIndex, status, data1, data2);
  }
  return true;
}

// The MIDI server went away (or there never was an output): no device of
// today's list can play until the list is taken anew.
bool TPluginEditorWindow::OutputGone() const {
  TMidiOutput* out = MidiOutput();
  return out->FDevices.Count() == 0 ||
         out->FLastResult == static_cast<int32_t>(winmm::MMSYSERR_NODRIVER);
}

// Said once per loss: one line without a window, one error box with it (its
// modal loop goes on relaying, so nothing waits on it).
void TPluginEditorWindow::SayOutputLost() {
  FOutputLost = true;
  FReopenTried = false;
  const std::string text = "lost the MIDI output " + FDeviceName +
                           " (its server went away); trying again while datagrams arrive";
  if (WindowShown())
    ShowErrorBox(Title(), text + ".");
  else
    WriteStderrLine(text);
}

// For an arriving datagram, at most once a second: where the service cannot
// say that devices came (its server itself went away), an idle relay never looks.
bool TPluginEditorWindow::ReopenOutput() { return LookNow() && LookForOutput(); }

bool TPluginEditorWindow::LookNow() {
  const uint32_t now = win32::GetTickCount();
  if (FReopenTried && now - FLastReopen < kReopenIntervalMs) return false;
  FReopenTried = true;
  FLastReopen = now;
  return true;
}

// Takes the device list anew and opens the selected device by its name (a
// device never opened since start: else by its stored index).
bool TPluginEditorWindow::LookForOutput() {
  try {
    MidiOutput()->CloseDevice(FDeviceIndex);  // whatever is left of the old one
  } catch (const std::exception&) {
  }
  FinalizeMidiOutput();
  BuildDeviceMenu();
  int index = DeviceByName(FDeviceName);
  if (index < 0 && FDeviceName.empty() && FDeviceIndex >= 0 && FDeviceIndex < pop->Items()->Count())
    index = FDeviceIndex;
  if (index < 0) {
    if (FDeviceName.empty())
      ShowDeviceName(kNoOutputCaption);
    else
      ShowAwaitedDevice();
    return false;
  }
  pop->Items()->Items(index)->Click();
  if (FOutputLost) return false;  // the open failed; the next look tries again
  // The window shows it by its caption; a service says it on its log.
  if (!WindowShown()) WriteStderrLine("playing on " + FDeviceName);
  return true;
}

// On the loop's thread, whenever the service said that destinations came or
// went: a lost output is looked for by name, the open one is asked whether its
// destination is still there (which connects a returning one again).
void TPluginEditorWindow::DevicesChanged() {
  try {
    if (FOutputLost) {
      LookForOutput();
      return;
    }
    TMidiOutput* out = MidiOutput();
    if (FDeviceIndex < 0 || FDeviceIndex >= out->FDevices.Count()) return;
    winmm::HMIDIOUT handle = out->FDevices.Handles(FDeviceIndex);
    if (handle == nullptr) return;
    winmm::DWORD losses = 0;
    const winmm::MMRESULT result = winmm::midiOutCheckDestination(handle, &losses);
    NoteDestination(result, losses);
  } catch (const std::exception&) {
    // The registry could not be built anew; the next change or datagram tries again.
  }
}

// Each loss is said once, and so is each return; a loss and a return between
// two looks are both said. The error box comes last: its modal loop goes on
// relaying and may handle further changes before it returns.
void TPluginEditorWindow::NoteDestination(uint32_t Result, uint32_t Losses) {
  if (Result == winmm::MMSYSERR_NODRIVER) {
    FDestinationLost = false;  // its server went away: the next datagram finds out
    return;
  }
  if (Result != winmm::MMSYSERR_NOERROR && Result != winmm::MIDIERR_NODEVICE) return;
  const bool lost = Result == winmm::MIDIERR_NODEVICE || Losses != FLossesSeen;
  const bool newLoss = lost && !FDestinationLost;
  const bool back = Result == winmm::MMSYSERR_NOERROR && (lost || FDestinationLost);
  FLossesSeen = Losses;
  FDestinationLost = Result == winmm::MIDIERR_NODEVICE;
  const std::string text = "lost the MIDI output " + FDeviceName +
                           " (its port went away); waiting for it to come back";
  if (newLoss) {  // the first look from a datagram waits its second
    FReopenTried = true;
    FLastReopen = win32::GetTickCount();
  }
  if (!WindowShown()) {
    if (newLoss) WriteStderrLine(text);
    if (back) WriteStderrLine("playing on " + FDeviceName);
  } else if (newLoss) {
    // The window shows the returning device by its caption, as it is.
    ShowErrorBox(Title(), text + ".");
  }
}
