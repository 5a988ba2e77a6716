// The registry on the real winmm binding, against the test double beside the
// program: records, handles and texts cross the seam intact, and the double
// does what the other tests rely on.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "midi/Midi.h"
#include "platform/winmm/winmm.h"
#include "tests/windows/winmm/TestEnvironment.h"

using namespace winmm;

namespace {

class WinmmBinding : public testing::Test {
 protected:
  void SetUp() override {
    // ctest may run the tests side by side, each in a process of its own.
    FLog = (std::filesystem::temp_directory_path() /
            (std::string("vx-winmm-") +
             testing::UnitTest::GetInstance()->current_test_info()->name() + ".log"))
               .string();
    std::remove(FLog.c_str());
    SetTestEnvironment("VORLANX_TEST_WINMM_LOG", FLog.c_str());
  }
  void TearDown() override {
    FinalizeMidiOutput();
    std::remove(FLog.c_str());
  }

  std::string Log() const {
    std::ifstream in(FLog, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  static std::unique_ptr<TMidiOutput> Registry(const char* Devices) {
    SetTestEnvironment("VORLANX_TEST_WINMM_DEVICES", Devices);
    return std::unique_ptr<TMidiOutput>(new TMidiOutput);
  }

  template <class F>
  static std::string MessageOf(F f) {
    try {
      f();
    } catch (const Exception& e) {
      return e.Message();
    }
    return "";
  }

  std::string FLog;
};

TEST_F(WinmmBinding, DevicesComeFromTheEnvironment) {
  const std::string exact(32, 'x');
  auto out = Registry(("Synth A;Synth B;" + exact + ";" + exact + "yz").c_str());
  ASSERT_EQ(out->FDevices.Count(), 4);
  EXPECT_EQ(out->FDevices.Strings(0), "Synth A");
  EXPECT_EQ(out->FDevices.Strings(1), "Synth B");
  // The field has room for 32 bytes, without a zero byte when they are all used.
  EXPECT_EQ(out->FDevices.Strings(2), exact);
  EXPECT_EQ(out->FDevices.Strings(3), exact);
  EXPECT_EQ(out->FLastResult, 0);
  std::string full;
  ASSERT_EQ(midiOutGetFullName(1, full), MMSYSERR_NOERROR);
  EXPECT_EQ(full, "Synth B");
  EXPECT_EQ(midiOutGetFullName(4, full), MMSYSERR_BADDEVICEID);

  MIDIOUTCAPSA caps;
  ASSERT_EQ(midiOutGetDevCapsA(0, &caps, sizeof caps), MMSYSERR_NOERROR);
  EXPECT_EQ(caps.wTechnology, MOD_MIDIPORT);
  EXPECT_EQ(caps.wChannelMask, 0xFFFF);

  EXPECT_EQ(Registry(nullptr)->FDevices.Strings(0), "Test Synth");
  EXPECT_EQ(Registry(nullptr)->FDevices.Count(), 1);
  out = Registry("");
  EXPECT_EQ(out->FDevices.Count(), 0);
  EXPECT_EQ(MessageOf([&] { out->OpenDevice(0); }), "TMidiOutput: Device index out of bounds! (0)");
}

TEST_F(WinmmBinding, MessagesReachTheDeviceTheyWereSentTo) {
  auto out = Registry("A;B");
  out->SendShortMessage(1, 0x90, 0x3C, 0x64);
  out->SendShortMessage(1, 0x80, 0x3C, 0x00);
  out->OpenDevice(0);
  out->SendShortMessage(0, 0xC5, 0x7F, 0xFF);
  out->CloseDevice(1);
  out->CloseDevice(0);
  EXPECT_EQ(Log(),
            "midiOutOpen 1 0\n"
            "midiOutShortMsg 1 00643C90\n"
            "midiOutShortMsg 1 00003C80\n"
            "midiOutOpen 0 0\n"
            "midiOutShortMsg 0 00FF7FC5\n"
            "midiOutReset 1\n"
            "midiOutClose 1\n"
            "midiOutReset 0\n"
            "midiOutClose 0\n");
  EXPECT_EQ(out->DeviceHandle(0), nullptr);
  EXPECT_EQ(out->DeviceHandle(1), nullptr);
}

TEST_F(WinmmBinding, FailuresCarryThePlatformsTexts) {
  auto out = Registry("A");
  // A closed device hands the platform a null handle, which reaches no device.
  EXPECT_EQ(MessageOf([&] { out->CloseDevice(0); }), "The specified device handle is invalid.");
  EXPECT_EQ(out->FLastResult, static_cast<int32_t>(MMSYSERR_INVALHANDLE));

  // An output is open once at a time: a second registry cannot have it too.
  out->OpenDevice(0);
  auto other = Registry("A");
  EXPECT_EQ(MessageOf([&] { other->SendShortMessage(0, 0x90, 1, 2); }),
            "The specified device is already in use.  Wait until it is free, and then try again.");
  EXPECT_EQ(other->DeviceHandle(0), nullptr);

  HMIDIOUT handle = reinterpret_cast<HMIDIOUT>(1);
  EXPECT_EQ(midiOutOpen(&handle, 7, 0, 0, CALLBACK_NULL), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(handle, nullptr);
  out->CloseDevice(0);
  EXPECT_EQ(midiOutShortMsg(handle, 0x90), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(Log(),
            "midiOutOpen 0 0\nmidiOutOpen 0 4\nmidiOutOpen 7 2\nmidiOutReset 0\nmidiOutClose 0\n");

  char text[10];
  EXPECT_EQ(midiInGetErrorTextA(MMSYSERR_INVALHANDLE, text, sizeof text), MMSYSERR_NOERROR);
  EXPECT_EQ(std::string(text), "The speci");
  EXPECT_EQ(midiOutGetErrorTextA(MMSYSERR_NOERROR, text, sizeof text), MMSYSERR_NOERROR);
  EXPECT_EQ(midiInGetErrorTextA(999, text, sizeof text), MMSYSERR_BADERRNUM);
}

}  // namespace
