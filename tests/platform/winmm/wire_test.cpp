// The platform layer's pieces that need no server: the wire rule, the error
// texts and the queue between the sender and the process callback.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "platform/winmm/linux/ShortMessage.h"
#include "platform/winmm/linux/MpscRing.h"
#include "platform/winmm/winmm.h"

using namespace winmm;

namespace {

std::vector<uint8_t> Wire(DWORD Message, uint8_t& Running, MMRESULT* Result = nullptr) {
  WireMessage w;
  MMRESULT r = EncodeShortMessage(Message, Running, w);
  if (Result) *Result = r;
  if (r != MMSYSERR_NOERROR) return {};
  return std::vector<uint8_t>(w.bytes, w.bytes + w.size);
}

using Bytes = std::vector<uint8_t>;

TEST(WireRule, BytesPerStatus) {
  uint8_t rs = 0;
  EXPECT_EQ(Wire(0x00643C90, rs), (Bytes{0x90, 0x3C, 0x64}));
  EXPECT_EQ(Wire(0x00000590, rs), (Bytes{0x90, 0x05, 0x00}));  // velocity 0 is still a byte
  EXPECT_EQ(Wire(0x000005C0, rs), (Bytes{0xC0, 0x05}));        // program change: one data byte
  EXPECT_EQ(Wire(0x00FF05C3, rs), (Bytes{0xC3, 0x05}));
  EXPECT_EQ(Wire(0x00007FD1, rs), (Bytes{0xD1, 0x7F}));  // channel pressure
  EXPECT_EQ(Wire(0x00407FEF, rs), (Bytes{0xEF, 0x7F, 0x40}));
  EXPECT_EQ(Wire(0x000102F2, rs), (Bytes{0xF2, 0x02, 0x01}));
  EXPECT_EQ(Wire(0x000010F1, rs), (Bytes{0xF1, 0x10}));
  EXPECT_EQ(Wire(0x000003F3, rs), (Bytes{0xF3, 0x03}));
  EXPECT_EQ(Wire(0x000000F6, rs), (Bytes{0xF6}));
  for (DWORD rt : {0xF8u, 0xFAu, 0xFEu, 0xFFu})
    EXPECT_EQ(Wire(0x00646400 | rt, rs), (Bytes{uint8_t(rt)}));
  // Data bytes pass as they are, even with the top bit set.
  EXPECT_EQ(Wire(0x00FF8080, rs), (Bytes{0x80, 0x80, 0xFF}));
}

TEST(WireRule, RunningStatus) {
  uint8_t rs = 0;
  MMRESULT r = MMSYSERR_NOERROR;
  EXPECT_EQ(Wire(0x0000643C, rs, &r), Bytes{});
  EXPECT_EQ(r, MMSYSERR_INVALPARAM);

  Wire(0x00643C90, rs);
  EXPECT_EQ(Wire(0x0000403E, rs), (Bytes{0x90, 0x3E, 0x40}));
  // Real-time bytes leave running status alone; system common ends it.
  Wire(0x000000F8, rs);
  EXPECT_EQ(Wire(0x0000403E, rs), (Bytes{0x90, 0x3E, 0x40}));
  Wire(0x000007C2, rs);
  EXPECT_EQ(Wire(0x00000009, rs), (Bytes{0xC2, 0x09}));
  Wire(0x000000F6, rs);
  EXPECT_EQ(Wire(0x00000009, rs, &r), Bytes{});
  EXPECT_EQ(r, MMSYSERR_INVALPARAM);
}

TEST(WireRule, SystemExclusiveIsNoShortMessage) {
  uint8_t rs = 0x90;
  MMRESULT r = MMSYSERR_NOERROR;
  for (DWORD m : {0x000000F0u, 0x000000F7u, 0x00017EF0u}) {
    EXPECT_EQ(Wire(m, rs, &r), Bytes{});
    EXPECT_EQ(r, MMSYSERR_INVALPARAM);
  }
  EXPECT_EQ(rs, 0x90);  // a refused message changes nothing
}

TEST(ErrorTexts, EveryReturnedCodeHasAText) {
  const MMRESULT codes[] = {MMSYSERR_NOERROR,    MMSYSERR_ERROR,        MMSYSERR_BADDEVICEID,
                            MMSYSERR_ALLOCATED,  MMSYSERR_INVALHANDLE,  MMSYSERR_NODRIVER,
                            MMSYSERR_NOMEM,      MMSYSERR_NOTSUPPORTED, MMSYSERR_BADERRNUM,
                            MMSYSERR_INVALPARAM, MIDIERR_NOTREADY,      MIDIERR_NODEVICE};
  for (MMRESULT code : codes) {
    char big[512];
    ASSERT_EQ(midiInGetErrorTextA(code, big, sizeof big), MMSYSERR_NOERROR) << code;
    // The registry reads texts into 128 bytes; none needs cutting.
    EXPECT_LT(std::strlen(big), 128u) << code;
    EXPECT_GT(std::strlen(big), 10u) << code;
  }
  char text[128];
  EXPECT_EQ(midiInGetErrorTextA(MMSYSERR_INVALHANDLE, text, sizeof text), MMSYSERR_NOERROR);
  EXPECT_STREQ(text, "The specified device handle is invalid.");

  char small[8];
  std::memset(small, 'x', sizeof small);
  EXPECT_EQ(midiOutGetErrorTextA(MMSYSERR_INVALHANDLE, small, sizeof small), MMSYSERR_NOERROR);
  EXPECT_STREQ(small, "The spe");
  EXPECT_EQ(midiInGetErrorTextA(12345, text, sizeof text), MMSYSERR_BADERRNUM);
  EXPECT_EQ(midiInGetErrorTextA(MMSYSERR_ERROR, nullptr, 10), MMSYSERR_INVALPARAM);
  EXPECT_EQ(midiInGetErrorTextA(MMSYSERR_ERROR, text, 0), MMSYSERR_INVALPARAM);
}

TEST(MpscRing, FullRingRefusesAndOrderHoldsAcrossThreads) {
  MpscRing<uint32_t> ring(1000);
  ASSERT_EQ(ring.Capacity(), 1024u);
  for (uint32_t i = 0; i < 1024; ++i) ASSERT_TRUE(ring.Push(i));
  EXPECT_FALSE(ring.Push(1024));
  for (uint32_t i = 0; i < 1024; ++i) {
    ASSERT_NE(ring.Front(), nullptr);
    ASSERT_EQ(*ring.Front(), i);
    ring.Pop();
  }
  EXPECT_TRUE(ring.Empty());

  // A consumer thread sees every pushed value once, in order, with no lock.
  constexpr uint32_t kCount = 200000;
  std::thread consumer([&] {
    uint32_t expected = 0;
    while (expected < kCount) {
      const uint32_t* v = ring.Front();
      if (v == nullptr) {
        std::this_thread::yield();
        continue;
      }
      ASSERT_EQ(*v, expected);
      ring.Pop();
      ++expected;
    }
  });
  for (uint32_t i = 0; i < kCount;)
    if (ring.Push(i))
      ++i;
    else
      std::this_thread::yield();
  consumer.join();
  EXPECT_TRUE(ring.Empty());
}

TEST(Winmm, HandlesAndDeviceNumbersAreChecked) {
  EXPECT_EQ(midiOutShortMsg(nullptr, 0x90), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(midiOutShortMsg(reinterpret_cast<HMIDIOUT>(0x12345), 0x90), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(midiOutClose(nullptr), MMSYSERR_INVALHANDLE);
  UINT count = midiOutGetNumDevs();
  HMIDIOUT h = reinterpret_cast<HMIDIOUT>(1);
  EXPECT_EQ(midiOutOpen(&h, count, 0, 0, CALLBACK_NULL), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(h, nullptr);
  MIDIOUTCAPSA caps;
  EXPECT_EQ(midiOutGetDevCapsA(count, &caps, sizeof caps), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(midiOutGetDevCapsA(0, nullptr, sizeof caps), MMSYSERR_INVALPARAM);
  EXPECT_EQ(midiOutOpen(nullptr, 0, 0, 0, CALLBACK_NULL), MMSYSERR_INVALPARAM);
}

}  // namespace
