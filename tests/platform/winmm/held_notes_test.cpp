// What a device holds down, and what releasing it sends.
#include <gtest/gtest.h>

#include <vector>

#include "platform/winmm/linux/HeldNotes.h"

using namespace winmm;

namespace {

using Bytes = std::vector<uint8_t>;

WireMessage Msg(uint8_t B0, uint8_t B1, uint8_t B2) {
  WireMessage m;
  m.size = 3;
  m.bytes[0] = B0;
  m.bytes[1] = B1;
  m.bytes[2] = B2;
  return m;
}

std::vector<Bytes> Released(HeldNotes& Held) {
  std::vector<Bytes> sent;
  Held.Release([&](const WireMessage& m) { sent.push_back(Bytes(m.bytes, m.bytes + m.size)); });
  return sent;
}

TEST(HeldNotes, NoteOffsForWhatIsHeldThenSustainOffs) {
  HeldNotes held;
  // Keys at both ends of each half of a channel's bits, on the first and last channel.
  for (uint8_t key : {127, 0, 64, 63}) held.Note(Msg(0x9F, key, 1));
  held.Note(Msg(0x90, 60, 100));
  held.Note(Msg(0xB3, 64, 64));   // pedal down from 64 up
  held.Note(Msg(0xB5, 64, 127));
  held.Note(Msg(0xB5, 64, 63));   // and up again
  held.Note(Msg(0xB0, 64, 127));
  held.Note(Msg(0xB1, 7, 127));   // other controllers are not held
  held.Note(Msg(0x91, 61, 100));
  held.Note(Msg(0x81, 61, 10));   // released by a note-off,
  held.Note(Msg(0x9F, 64, 0));    // by a note-on of velocity 0,
  held.Note(Msg(0xA0, 62, 100));  // and aftertouch holds nothing
  held.Note(Msg(0x92, 0xC5, 1));  // a stray top bit in the key: key 0x45
  EXPECT_EQ(Released(held), (std::vector<Bytes>{{0x80, 60, 64},
                                                {0x82, 0x45, 64},
                                                {0x8F, 0, 64},
                                                {0x8F, 63, 64},
                                                {0x8F, 127, 64},
                                                {0xB0, 64, 0},
                                                {0xB3, 64, 0}}));
  EXPECT_TRUE(Released(held).empty()) << "released twice";

  held.Note(Msg(0x90, 1, 1));
  held.Note(Msg(0xB0, 64, 127));
  held.Forget();
  EXPECT_TRUE(Released(held).empty());
}

}  // namespace
