// The registry's own rules, against a double of the platform.
#include <gtest/gtest.h>

#include <memory>

#include "midi/Midi.h"
#include "tests/midi/FakeWinmm.h"

using namespace winmm;

namespace {

class RegistryTest : public testing::Test {
 protected:
  void TearDown() override { FinalizeMidiOutput(); }

  // Runs F and gives the message of the Exception it raised ("" when none).
  template <class F>
  static std::string MessageOf(F f) {
    try {
      f();
    } catch (const EListError& e) {
      return "EListError: " + e.Message();
    } catch (const Exception& e) {
      return e.Message();
    }
    return "";
  }

  TFakeWinmmScope FFake;
};

TEST_F(RegistryTest, NamesComeFromTheCapabilityRecord) {
  Fake.Names = {"Synth A", std::string("Twelve\0junk", 11), "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345",
                "Synth A"};
  std::unique_ptr<TMidiOutput> out(new TMidiOutput);
  ASSERT_EQ(out->FDevices.Count(), 4);
  EXPECT_EQ(out->FDevices.Strings(0), "Synth A");
  EXPECT_EQ(out->FDevices.Strings(1), "Twelve");
  // A name filling all 32 bytes has no zero byte and keeps all 32.
  EXPECT_EQ(out->FDevices.Strings(2), "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345");
  EXPECT_EQ(out->FDevices.Strings(3), "Synth A");
  EXPECT_EQ(out->FLastResult, 0);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(out->DeviceHandle(i), nullptr);
}

TEST_F(RegistryTest, EnumerationFailures) {
  Fake.Names = {"One", "Two", "Three"};
  Fake.CapsResults = {MMSYSERR_NOERROR, MMSYSERR_NOMEM};

  // A failure with a known text ends construction; MidiOutput stores nothing and tries again.
  Fake.Texts[MMSYSERR_NOMEM] = "Not enough memory.";
  EXPECT_EQ(MessageOf([] { MidiOutput(); }), "Not enough memory.");
  Fake.CapsResults.clear();
  TMidiOutput* out = MidiOutput();
  EXPECT_EQ(out->FDevices.Count(), 3);
  EXPECT_EQ(MidiOutput(), out);

  // With no text the device keeps its number (an empty name) and the code stays visible
  // until the next call succeeds.
  FinalizeMidiOutput();
  Fake.Texts.erase(MMSYSERR_NOMEM);
  Fake.CapsResults = {MMSYSERR_NOERROR, MMSYSERR_NOERROR, MMSYSERR_NOMEM};
  out = MidiOutput();
  ASSERT_EQ(out->FDevices.Count(), 3);
  EXPECT_EQ(out->FDevices.Strings(2), "");
  EXPECT_EQ(out->FLastResult, static_cast<int32_t>(MMSYSERR_NOMEM));
  out->SendShortMessage(1, 0x90, 1, 2);
  EXPECT_EQ(out->FLastResult, 0);
}

TEST_F(RegistryTest, BadIndexes) {
  std::unique_ptr<TMidiOutput> out(new TMidiOutput);
  ASSERT_EQ(out->FDevices.Count(), 0);
  EXPECT_EQ(MessageOf([&] { out->OpenDevice(0); }), "TMidiOutput: Device index out of bounds! (0)");
  EXPECT_EQ(MessageOf([&] { out->CloseDevice(0); }),
            "TMidiOutput: Device index out of bounds! (0)");
  EXPECT_EQ(MessageOf([&] { out->DeviceHandle(-1); }),
            "TMidiOutput: Device index out of bounds! (-1)");
  EXPECT_EQ(MessageOf([&] { out->SendShortMessage(0, 0x90, 1, 2); }),
            "EListError: List index out of bounds (0)");

  Fake.Names = {"Only"};
  out.reset(new TMidiOutput);
  EXPECT_EQ(MessageOf([&] { out->OpenDevice(1); }), "TMidiOutput: Device index out of bounds! (1)");
  EXPECT_EQ(MessageOf([&] { out->SendShortMessage(-1, 0x90, 1, 2); }),
            "EListError: List index out of bounds (-1)");
  EXPECT_EQ(MessageOf([&] { out->FDevices.Strings(7); }),
            "EListError: List index out of bounds (7)");
  EXPECT_EQ(Fake.Opens + Fake.Closes + Fake.Sends, 0);
}

TEST_F(RegistryTest, OpenAndClose) {
  Fake.Names = {"A", "B"};
  std::unique_ptr<TMidiOutput> out(new TMidiOutput);

  out->OpenDevice(1);
  EXPECT_EQ(Fake.LastOpenedDevice, 1u);
  HMIDIOUT handle = out->DeviceHandle(1);
  ASSERT_NE(handle, nullptr);
  out->OpenDevice(1);  // already open: no platform call
  EXPECT_EQ(Fake.Opens, 1);
  EXPECT_EQ(out->DeviceHandle(1), handle);

  // What the device holds is turned off before it closes.
  out->CloseDevice(1);
  EXPECT_EQ(Fake.LastClosed, handle);
  EXPECT_EQ(out->DeviceHandle(1), nullptr);
  EXPECT_EQ(Fake.Ends, "reset close ");

  // A reset that fails (the destination went away) closes all the same, quietly.
  Fake.Texts[MMSYSERR_NODRIVER] = "The MIDI driver is not available.";
  Fake.ResetResult = MMSYSERR_NODRIVER;
  Fake.Ends.clear();
  out->OpenDevice(1);
  out->CloseDevice(1);
  EXPECT_EQ(Fake.Ends, "reset close ");
  EXPECT_EQ(out->DeviceHandle(1), nullptr);
  EXPECT_EQ(out->FLastResult, 0);

  // Closing a closed device hands the platform a null handle; its text is raised.
  Fake.Ends.clear();
  EXPECT_EQ(MessageOf([&] { out->CloseDevice(0); }), "The specified device handle is invalid.");
  EXPECT_EQ(Fake.Ends, "close ");
  EXPECT_EQ(Fake.LastClosed, nullptr);
  EXPECT_EQ(out->DeviceHandle(0), nullptr);
  EXPECT_EQ(out->FLastResult, static_cast<int32_t>(MMSYSERR_INVALHANDLE));
}

TEST_F(RegistryTest, AFailedOpenIsNeverAnOpenDevice) {
  Fake.Names = {"A"};
  std::unique_ptr<TMidiOutput> out(new TMidiOutput);

  Fake.OpenResult = MMSYSERR_ALLOCATED;
  Fake.Texts[MMSYSERR_ALLOCATED] = "In use.";
  EXPECT_EQ(MessageOf([&] { out->OpenDevice(0); }), "In use.");
  EXPECT_EQ(out->DeviceHandle(0), nullptr);

  // No text: nothing is raised, but the handle the platform left is not kept.
  Fake.OpenResult = 1234;
  EXPECT_EQ(MessageOf([&] { out->OpenDevice(0); }), "");
  EXPECT_EQ(out->FLastResult, 1234);
  EXPECT_EQ(out->DeviceHandle(0), nullptr);
  // Sending then tries to open, and the platform refuses the null handle with its text.
  EXPECT_EQ(MessageOf([&] { out->SendShortMessage(0, 0x90, 1, 2); }),
            "The specified device handle is invalid.");
  EXPECT_EQ(Fake.Opens, 3);

  // A close that fails without a text leaves the device open, so it can still be closed.
  Fake.OpenResult = MMSYSERR_NOERROR;
  out->OpenDevice(0);
  HMIDIOUT handle = out->DeviceHandle(0);
  Fake.CloseResult = 4321;
  out->CloseDevice(0);
  EXPECT_EQ(out->DeviceHandle(0), handle);
  Fake.CloseResult = MMSYSERR_NOERROR;
  out->CloseDevice(0);
  EXPECT_EQ(out->DeviceHandle(0), nullptr);
}

TEST_F(RegistryTest, SendShortMessage) {
  Fake.Names = {"A"};
  std::unique_ptr<TMidiOutput> out(new TMidiOutput);

  out->SendShortMessage(0, 0x90, 0x3C, 0x64);  // opens the closed device first
  EXPECT_EQ(Fake.Opens, 1);
  EXPECT_EQ(Fake.LastMessage, 0x00643C90u);
  HMIDIOUT handle = out->DeviceHandle(0);
  EXPECT_EQ(Fake.LastSentTo, handle);
  out->SendShortMessage(0, 0xFF, 0xFF, 0xFF);
  EXPECT_EQ(Fake.Opens, 1);
  EXPECT_EQ(Fake.LastMessage, 0x00FFFFFFu);

  Fake.SendResult = MIDIERR_NOTREADY;
  Fake.Texts[MIDIERR_NOTREADY] = "Busy.";
  EXPECT_EQ(MessageOf([&] { out->SendShortMessage(0, 0x80, 1, 2); }), "Busy.");
  EXPECT_EQ(out->FLastResult, static_cast<int32_t>(MIDIERR_NOTREADY));
  EXPECT_EQ(out->DeviceHandle(0), handle);
}

TEST_F(RegistryTest, ErrorTextsAreCutTo127Characters) {
  std::unique_ptr<TMidiOutput> out(new TMidiOutput);
  Fake.Texts[MMSYSERR_ERROR] = std::string(300, 'e');
  EXPECT_EQ(MessageOf([&] { out->CheckResult(MMSYSERR_ERROR); }), std::string(127, 'e'));
  // Even a platform that forgets the terminator gives at most 127 characters.
  Fake.UnterminatedTexts = true;
  EXPECT_EQ(MessageOf([&] { out->CheckResult(MMSYSERR_ERROR); }), std::string(127, 'x'));
  // A code without a text raises nothing.
  EXPECT_EQ(MessageOf([&] { out->CheckResult(99); }), "");
  EXPECT_EQ(out->FLastResult, 99);
}

TEST_F(RegistryTest, FinalisationFreesTheRegistryOnly) {
  Fake.Names = {"A"};
  TMidiOutput* first = MidiOutput();
  first->OpenDevice(0);
  FinalizeMidiOutput();
  EXPECT_EQ(Fake.Closes, 0);
  TMidiOutput* second = MidiOutput();
  EXPECT_EQ(second->DeviceHandle(0), nullptr);
}

}  // namespace
