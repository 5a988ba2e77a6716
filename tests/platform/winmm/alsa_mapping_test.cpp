// The ALSA backend's decisions, on canned port data and events: this machine
// has no sequencer, so the backend itself never runs here.
#include <gtest/gtest.h>

#include "platform/winmm/linux/AlsaMapping.h"

using namespace winmm;

namespace {

AlsaPortInfo Port(int Client, int Number, const char* ClientName, const char* PortName,
                  unsigned Caps) {
  AlsaPortInfo p;
  p.Client = Client;
  p.Port = Number;
  p.ClientName = ClientName;
  p.PortName = PortName;
  p.Capability = Caps;
  return p;
}

TEST(AlsaEnumeration, OnlyPortsOfOthersThatTakeSubscribedInput) {
  const unsigned in = SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE;
  const unsigned out = SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ;
  const std::vector<AlsaPortInfo> ports = {
      Port(0, 0, "System", "Timer", in | out),  // the sequencer's own client
      Port(0, 1, "System", "Announce", in | out),
      Port(14, 0, "Midi Through", "Midi Through Port-0", in | out),
      Port(20, 0, "USB Keys", "USB Keys MIDI 1", out),                  // a source only
      Port(24, 0, "Synth", "Direct only", SND_SEQ_PORT_CAP_WRITE),      // not subscribable
      Port(24, 1, "Synth", "Hidden", in | SND_SEQ_PORT_CAP_NO_EXPORT),  // asks not to be listed
      Port(24, 2, "Synth", "Synth input port (2)", in),
      Port(128, 0, "vorlanx", "out", in | out),  // ours
      Port(130, 3, "Synth", "Synth input port (2)", in),
  };
  std::vector<DeviceEntry> devices;
  devices.push_back(DeviceEntry{nullptr, "earlier", "x"});  // entries are appended
  AlsaDestinations(ports, 128, nullptr, devices);
  ASSERT_EQ(devices.size(), 4u);
  EXPECT_EQ(devices[0].Name, "earlier");
  EXPECT_EQ(devices[1].Name, "Midi Through:Midi Through Port-0");
  EXPECT_EQ(devices[2].Name, "Synth:Synth input port (2)");
  EXPECT_EQ(devices[3].Name, "Synth:Synth input port (2)");
  // Two ports with one name stay two devices: the id tells them apart.
  EXPECT_NE(devices[2].Id, devices[3].Id);
  int client = -1, port = -1;
  ASSERT_TRUE(ParseAlsaId(devices[3].Id, client, port));
  EXPECT_EQ(client, 130);
  EXPECT_EQ(port, 3);
  for (const char* bad : {"", "14", "14:", ":0", "14:0x", "-1:0", "a:b", "14:0:1"})
    EXPECT_FALSE(ParseAlsaId(bad, client, port)) << bad;
}

snd_seq_event_t EventFor(uint8_t Size, uint8_t B0, uint8_t B1 = 0, uint8_t B2 = 0,
                         bool* Typed = nullptr) {
  WireMessage m;
  m.size = Size;
  m.bytes[0] = B0;
  m.bytes[1] = B1;
  m.bytes[2] = B2;
  snd_seq_event_t ev;
  snd_seq_ev_clear(&ev);
  bool typed = AlsaEventFor(m, ev);
  if (Typed) *Typed = typed;
  return ev;
}

TEST(AlsaEvents, ChannelMessagesKeepChannelAndData) {
  snd_seq_event_t ev = EventFor(3, 0x93, 0x3C, 0x64);
  EXPECT_EQ(ev.type, SND_SEQ_EVENT_NOTEON);
  EXPECT_EQ(ev.data.note.channel, 3);
  EXPECT_EQ(ev.data.note.note, 0x3C);
  EXPECT_EQ(ev.data.note.velocity, 0x64);
  // A note-on of velocity 0 stays a note-on: the receiver decides what it means.
  EXPECT_EQ(EventFor(3, 0x90, 0x3C, 0x00).type, SND_SEQ_EVENT_NOTEON);

  ev = EventFor(3, 0x8F, 0x40, 0x10);
  EXPECT_EQ(ev.type, SND_SEQ_EVENT_NOTEOFF);
  EXPECT_EQ(ev.data.note.channel, 15);
  EXPECT_EQ(ev.data.note.velocity, 0x10);

  ev = EventFor(3, 0xA1, 0x40, 0x22);
  EXPECT_EQ(ev.type, SND_SEQ_EVENT_KEYPRESS);
  EXPECT_EQ(ev.data.note.note, 0x40);
  EXPECT_EQ(ev.data.note.velocity, 0x22);

  ev = EventFor(3, 0xB2, 0x07, 0x65);
  EXPECT_EQ(ev.type, SND_SEQ_EVENT_CONTROLLER);
  EXPECT_EQ(ev.data.control.channel, 2);
  EXPECT_EQ(ev.data.control.param, 7u);
  EXPECT_EQ(ev.data.control.value, 0x65);

  ev = EventFor(2, 0xC4, 0x05);
  EXPECT_EQ(ev.type, SND_SEQ_EVENT_PGMCHANGE);
  EXPECT_EQ(ev.data.control.channel, 4);
  EXPECT_EQ(ev.data.control.value, 5);

  ev = EventFor(2, 0xD5, 0x33);
  EXPECT_EQ(ev.type, SND_SEQ_EVENT_CHANPRESS);
  EXPECT_EQ(ev.data.control.value, 0x33);
}

TEST(AlsaEvents, FourteenBitValues) {
  // Pitch bend is signed around the centre 0x2000; the low data byte comes first.
  EXPECT_EQ(EventFor(3, 0xE0, 0x00, 0x40).data.control.value, 0);
  EXPECT_EQ(EventFor(3, 0xE0, 0x00, 0x00).data.control.value, -8192);
  EXPECT_EQ(EventFor(3, 0xE0, 0x7F, 0x7F).data.control.value, 8191);
  EXPECT_EQ(EventFor(3, 0xE0, 0x01, 0x40).data.control.value, 1);
  snd_seq_event_t ev = EventFor(3, 0xF2, 0x01, 0x02);
  EXPECT_EQ(ev.type, SND_SEQ_EVENT_SONGPOS);
  EXPECT_EQ(ev.data.control.value, 0x101);
  // The top bit of a data byte does not leak into the value.
  EXPECT_EQ(EventFor(3, 0xE0, 0x80, 0xC0).data.control.value, 0);
}

TEST(AlsaEvents, SystemMessages) {
  const struct {
    uint8_t Status;
    int Type;
  } typed[] = {{0xF1, SND_SEQ_EVENT_QFRAME},       {0xF3, SND_SEQ_EVENT_SONGSEL},
               {0xF6, SND_SEQ_EVENT_TUNE_REQUEST}, {0xF8, SND_SEQ_EVENT_CLOCK},
               {0xFA, SND_SEQ_EVENT_START},        {0xFB, SND_SEQ_EVENT_CONTINUE},
               {0xFC, SND_SEQ_EVENT_STOP},         {0xFE, SND_SEQ_EVENT_SENSING},
               {0xFF, SND_SEQ_EVENT_RESET}};
  for (const auto& t : typed) {
    bool ok = false;
    snd_seq_event_t ev = EventFor(2, t.Status, 0x09, 0x00, &ok);
    EXPECT_TRUE(ok) << int(t.Status);
    EXPECT_EQ(ev.type, t.Type) << int(t.Status);
  }
  EXPECT_EQ(EventFor(2, 0xF1, 0x35).data.control.value, 0x35);
  EXPECT_EQ(EventFor(2, 0xF3, 0x07).data.control.value, 7);
  // Undefined system bytes have no typed event; the backend sends them raw.
  for (uint8_t status : {0xF4, 0xF5, 0xF9, 0xFD}) {
    bool ok = true;
    EventFor(1, status, 0, 0, &ok);
    EXPECT_FALSE(ok) << int(status);
  }
}

}  // namespace
