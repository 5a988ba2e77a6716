// The relay program end to end without a display: settings file, datagram rule,
// errors on standard error, termination signals; datagrams go through a private
// JACK server to a receiving client.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/win32/win32.h"
#include "tests/app/RelayProcess.h"

namespace {

using namespace relaytest;
using testjack::TMidiEvent;

class HeadlessRelay : public TRelayTest {
 protected:
  // Settings that bind 127.0.0.1 on a free port, plus whatever else is given.
  std::string DataSection(const std::string& Extra = "") {
    FPort = FreeUdpPort();
    return "[Data]\nAdress=127.0.0.1\nPort=" + std::to_string(FPort) + "\n" + Extra;
  }
  void ExpectCleanExit(TRelay& Relay, int Sig = SIGTERM) {
    int status = Relay.Stop(Sig);
    ASSERT_NE(status, -1) << "did not end";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  // What a run that started and stopped cleanly says on standard error.
  std::string ServiceLines(const std::string& Receiving, const std::string& Between = "") {
    return "vorlanx: receiving on " + Receiving + "\n" + Between + "vorlanx: stopped\n";
  }
  std::string Local(const std::string& Device = "synth:in_a") {
    return "127.0.0.1:" + std::to_string(FPort) + ", playing on " + Device;
  }
  std::string Profile(TRelay& Relay, const char* Section, const char* Key,
                      const std::string& Name = "VORLANX.INI") {
    char value[2048] = {0};
    win32::GetPrivateProfileStringA(Section, Key, "<none>", value, sizeof value,
                                    (Relay.Dir() + "/" + Name).c_str());
    return value;
  }

  uint16_t FPort = 0;
};

TEST_F(HeadlessRelay, DefaultStartWithoutSettingsFile) {
  if (!UdpPortFree(55555)) GTEST_SKIP() << "something else uses UDP port 55555";
  TRelay relay;
  ASSERT_TRUE(relay.Start());
  ASSERT_TRUE(relay.WaitBound("0.0.0.0", 55555));
  ASSERT_TRUE(WaitConnected(0)) << "device 0 was not opened";
  ExpectRelayed(55555, Bytes({0x90, 0x3C, 0x64}));
  ExpectCleanExit(relay);
  EXPECT_EQ(relay.ReadFile(),
            "[Window]\nTop=158\nLeft=213\nWidth=191\nHeight=182\n"
            "[Data]\nAdress=0.0.0.0\nPort=55555\nMIDI-Out=0\nMIDI-Out-Name=synth:in_a\n");
  EXPECT_EQ(relay.Child().Stderr(), ServiceLines("0.0.0.0:55555, playing on synth:in_a"));
}

TEST_F(HeadlessRelay, OnlyThreeByteDatagramsNotStartingWithFEArePlayed) {
  TRelay relay;
  relay.WriteFile("VORLANX.INI", DataSection());
  ASSERT_TRUE(relay.Start());
  ASSERT_TRUE(relay.WaitBound("127.0.0.1", FPort));
  ASSERT_TRUE(WaitConnected(0));
  ExpectRelayed(FPort, Bytes({0x90, 0x3C, 0x64}));

  const std::vector<std::string> dropped = {
      Bytes({0xFE, 0x3C, 0x64}),
      "",
      Bytes({0x90}),
      Bytes({0x90, 0x3C}),
      Bytes({0x90, 0x3C, 0x64, 0x00}),
      Bytes({0x90, 0x3C, 0x64, 0x80, 0x3C, 0x00}),  // two whole messages: never split
      std::string(5, '\x90'),
      std::string(1500, '\x80')};
  for (const std::string& d : dropped) ASSERT_TRUE(FSender.Send(FPort, d));
  // Bytes are not checked: a data byte above 0x7F goes on as it is, and three
  // zero bytes are a short message of value 0, which the device plays with the
  // running status of the last message.
  ASSERT_TRUE(FSender.Send(FPort, Bytes({0x90, 0x80, 0xFF})));
  ASSERT_TRUE(FSender.Send(FPort, Bytes({0x00, 0x00, 0x00})));
  ASSERT_TRUE(FSender.Send(FPort, Bytes({0x80, 0x3C, 0x00})));
  std::vector<TMidiEvent> got = FSynth.Wait(3, 5000);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].Data(), (std::vector<uint8_t>{0x90, 0x80, 0xFF}));
  EXPECT_EQ(got[1].Data(), (std::vector<uint8_t>{0x90, 0x00, 0x00}));
  EXPECT_EQ(got[2].Data(), (std::vector<uint8_t>{0x80, 0x3C, 0x00}));
  EXPECT_TRUE(FSynth.Settle().empty());
  ExpectCleanExit(relay);
  EXPECT_EQ(relay.Child().Stderr(), ServiceLines(Local()));
}

TEST_F(HeadlessRelay, ABurstOfAThousandArrivesCompleteAndInOrder) {
  TRelay relay;
  relay.WriteFile("VORLANX.INI", DataSection());
  ASSERT_TRUE(relay.Start());
  ASSERT_TRUE(relay.WaitBound("127.0.0.1", FPort));
  ASSERT_TRUE(WaitConnected(0));
  const int kCount = 1000;
  auto waiting = [&] {
    for (const TUdpSocket& s : UdpSockets(relay.Child().Pid()))
      if (s.Port == FPort) return s.RxQueue;
    return 0u;
  };
  for (int i = 0; i < kCount; ++i) {
    // Sent as fast as the relay's receive buffer takes them: a full buffer
    // would drop datagrams in the kernel, before the relay sees them.
    for (int w = 0; i % 50 == 0 && w < 10000 && waiting() > 32 * 1024; ++w) ::usleep(1000);
    ASSERT_TRUE(FSender.Send(FPort, Bytes({0x90, i & 0x7F, i >> 7})));
  }
  std::vector<TMidiEvent> got = FSynth.Wait(kCount, 20000);
  ASSERT_EQ(got.size(), static_cast<size_t>(kCount));
  for (int i = 0; i < kCount; ++i)
    ASSERT_EQ(got[i].Data(), (std::vector<uint8_t>{0x90, static_cast<uint8_t>(i & 0x7F),
                                                   static_cast<uint8_t>(i >> 7)}))
        << i;
  for (const TUdpSocket& s : UdpSockets(relay.Child().Pid())) EXPECT_EQ(s.Drops, 0u);
  EXPECT_EQ(FSynth.Overflows(), 0u);
  ExpectCleanExit(relay);
}

TEST_F(HeadlessRelay, StoredValuesAreUsedAndWrittenBack) {
  TRelay relay;
  FPort = FreeUdpPort();
  // Some editors begin the file with a byte order mark: it is kept.
  relay.WriteFile("VORLANX.INI",
                  "\xEF\xBB\xBF[Window]\nTop=40\nLeft=0x20\nWidth=300\nHeight=-5\n[Data]\n"
                  "Adress=localhost\nPort=" +
                      std::to_string(FPort) + "\nMIDI-Out=0x1\n");
  ASSERT_TRUE(relay.Start());
  // The host name is resolved; its dotted form is what is used and kept.
  ASSERT_TRUE(relay.WaitBound("127.0.0.1", FPort));
  ASSERT_TRUE(WaitConnected(1)) << "device 1 was not opened";
  ExpectRelayed(FPort, Bytes({0xB0, 0x07, 0x64}), 1);
  ExpectCleanExit(relay, SIGINT);
  // A size below the layout's gives the layout's.
  EXPECT_EQ(relay.ReadFile(),
            "\xEF\xBB\xBF[Window]\nTop=40\nLeft=32\nWidth=300\nHeight=182\n[Data]\n"
            "Adress=127.0.0.1\nPort=" +
                std::to_string(FPort) + "\nMIDI-Out=1\nMIDI-Out-Name=synth:in_b\n");
}

// A device value that does not convert reads as 0; one that names no device
// (removed since the last run) selects the first device, which is then the
// one shown, played and saved.
TEST_F(HeadlessRelay, DeviceValuesThatNameNoDeviceGiveTheFirst) {
  for (const char* stored : {"abc", "0x", "2", "-1", "0x7FFFFFFF"}) {
    SCOPED_TRACE(stored);
    TRelay relay;
    relay.WriteFile("VORLANX.INI", DataSection(std::string("MIDI-Out=") + stored + "\n"));
    ASSERT_TRUE(relay.Start());
    ASSERT_TRUE(relay.WaitBound("127.0.0.1", FPort));
    ASSERT_TRUE(WaitConnected(0));
    ExpectRelayed(FPort, Bytes({0x90, 0x3C, 0x64}), 0);
    ExpectCleanExit(relay);
    ASSERT_EQ(FSynth.Wait(1, 5000).size(), 1u) << "the note was not ended";
    EXPECT_EQ(Profile(relay, "Data", "MIDI-Out"), "0");
    EXPECT_EQ(relay.Child().Stderr(), ServiceLines(Local()));
  }
}

// Without a window nobody could mend the address or the port: a start that
// cannot receive ends with its error line and status 1, as a service manager
// expects. The settings are kept as they were read.
TEST_F(HeadlessRelay, AStartThatCannotReceiveEndsWithStatusOne) {
  TRelay relay;
  relay.WriteFile("VORLANX.INI", DataSection("MIDI-Out=1\n"));
  {
    TPortHolder holder(FPort);
    ASSERT_TRUE(holder.Held());
    ASSERT_TRUE(relay.Start());
    int status = relay.Child().Wait(10000);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
  }
  // One line, the CR LF inside the message a separator.
  EXPECT_EQ(relay.Child().Stderr(),
            "vorlanx: Error 10048 in function Bind: Address already in use.\n");
  EXPECT_EQ(Profile(relay, "Data", "Port"), std::to_string(FPort));
  EXPECT_EQ(Profile(relay, "Data", "MIDI-Out"), "1");

  // The settings file and the title follow the executable's name: "Relay.Exe.old"
  // keeps RELAY.INI and its messages are titled "Relay".
  TRelay renamed("Relay.Exe.old");
  renamed.WriteFile("RELAY.INI",
                    "[Data]\nAdress=bad..host\nPort=" + std::to_string(FreeUdpPort()) + "\n");
  ASSERT_TRUE(renamed.Start());
  int status = renamed.Child().Wait(10000);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
  EXPECT_EQ(renamed.Child().Stderr(),
            "Relay: WSocketResolveHost: Cannot convert host address 'bad..host', Error #11001.\n");
  EXPECT_EQ(Profile(renamed, "Data", "Adress", "RELAY.INI"), "bad..host");
  EXPECT_EQ(renamed.ReadFile("VORLANX.INI"), "<missing>");
}

// A closed terminal (SIGHUP) ends it like SIGTERM; a display that is named but
// cannot be opened is said, and the relay runs without a window.
TEST_F(HeadlessRelay, HangUpSavesAndAnUnreachableDisplayIsSaid) {
  TRelay relay;
  relay.WriteFile("VORLANX.INI", DataSection());
  std::string display = ":9";
  for (int n = 9; n < 200 && ::access(("/tmp/.X11-unix/X" + std::to_string(n)).c_str(), F_OK) == 0;
       ++n)
    display = ":" + std::to_string(n + 1);
  ASSERT_TRUE(relay.Start({"DISPLAY=" + display}));
  ASSERT_TRUE(relay.WaitBound("127.0.0.1", FPort));
  ASSERT_TRUE(WaitConnected(0));
  ExpectRelayed(FPort, Bytes({0x90, 0x3C, 0x64}));
  ExpectCleanExit(relay, SIGHUP);
  EXPECT_EQ(relay.Child().Stderr(), "vorlanx: cannot open display " + display +
                                        ", running without a window\n" + ServiceLines(Local()));
  EXPECT_EQ(Profile(relay, "Data", "Port"), std::to_string(FPort));
  EXPECT_EQ(Profile(relay, "Window", "Top"), "158");
}

// The start line names the port the socket holds: a stored port above 65535
// wraps, and 0 lets the system choose one.
TEST_F(HeadlessRelay, TheStartLineNamesThePortBound) {
  FPort = FreeUdpPort();
  for (const std::string& stored : {std::to_string(FPort + 65536), std::string("0")}) {
    SCOPED_TRACE(stored);
    TRelay relay;
    relay.WriteFile("VORLANX.INI", "[Data]\nAdress=127.0.0.1\nPort=" + stored + "\n");
    ASSERT_TRUE(relay.Start());
    const std::string line = relay.Child().Stderr(", playing on", 10000);
    std::vector<TUdpSocket> sockets = UdpSockets(relay.Child().Pid());
    ASSERT_EQ(sockets.size(), 1u);
    if (stored != "0") {
      EXPECT_EQ(sockets[0].Port, FPort);
    }
    EXPECT_EQ(line, "vorlanx: receiving on 127.0.0.1:" + std::to_string(sockets[0].Port) +
                        ", playing on synth:in_a\n");
    ASSERT_TRUE(WaitConnected(0));
    // A controller: no note is left held for the close to end.
    ExpectRelayed(sockets[0].Port, Bytes({0xB0, 0x07, 0x64}));
    ExpectCleanExit(relay);
    // The file keeps what was written there.
    EXPECT_EQ(Profile(relay, "Data", "Port"), stored);
  }
}

TEST_F(HeadlessRelay, ASettingsFileInAnotherCaseIsUsed) {
  TRelay relay;
  relay.WriteFile("vorlanx.ini", DataSection());
  ASSERT_TRUE(relay.Start());
  ASSERT_TRUE(relay.WaitBound("127.0.0.1", FPort));
  ExpectCleanExit(relay);
  EXPECT_EQ(Profile(relay, "Data", "MIDI-Out", "vorlanx.ini"), "0");
  EXPECT_EQ(relay.ReadFile("VORLANX.INI"), "<missing>");
}

TEST_F(HeadlessRelay, AnUnwritableSettingsFileIsReportedAtExit) {
  TRelay relay;
  const std::string settings = DataSection("MIDI-Out=1\n");
  relay.WriteFile("VORLANX.INI", settings);
  if (!relay.MakeReadOnly()) GTEST_SKIP() << "cannot mount the directory read-only";
  ASSERT_TRUE(relay.Start());
  ASSERT_TRUE(relay.WaitBound("127.0.0.1", FPort));
  ASSERT_TRUE(WaitConnected(1));
  ExpectCleanExit(relay);
  EXPECT_EQ(relay.Child().Stderr(),
            ServiceLines(Local("synth:in_b"),
                         "vorlanx: Unable to write to " + relay.Dir() + "/VORLANX.INI.\n"));
  EXPECT_EQ(relay.ReadFile(), settings);
}

TEST_F(HeadlessRelay, ASettingsFileOfGarbageGivesDefaults) {
  std::string junk;
  for (uint32_t x = 12345, i = 0; i < 3000; ++i) {
    x = x * 1103515245u + 12345u;
    char c = static_cast<char>(x >> 16);
    junk += c == '\n' || c == '\r' || c == '[' ? '\0' : c;
  }
  TRelay relay;
  relay.WriteFile(
      "VORLANX.INI",
      junk + "\n[Window\nTop=1\n[Window]\nTop=abc\nLeft=0xZZ\nWidth=\nHeight=99999999999\n" + junk +
          "\n=\n" + DataSection("MIDI-Out=0x\n" + junk));
  ASSERT_TRUE(relay.Start());
  ASSERT_TRUE(relay.WaitBound("127.0.0.1", FPort));
  ASSERT_TRUE(WaitConnected(0));
  ExpectRelayed(FPort, Bytes({0x90, 0x3C, 0x64}));
  ExpectCleanExit(relay);
  EXPECT_EQ(relay.Child().Stderr(), ServiceLines(Local()));
  EXPECT_EQ(Profile(relay, "Window", "Top"), "158");
  EXPECT_EQ(Profile(relay, "Window", "Left"), "213");
  EXPECT_EQ(Profile(relay, "Window", "Width"), "191");
  EXPECT_EQ(Profile(relay, "Window", "Height"), "182");
  EXPECT_EQ(Profile(relay, "Data", "MIDI-Out"), "0");
  EXPECT_NE(relay.ReadFile().find(junk), std::string::npos)
      << "lines the program does not own are kept";
}

TEST_F(HeadlessRelay, WithoutDevicesDatagramsFailQuietlyAndReceptionGoesOn) {
  FSynth.Close();
  TRelay relay;
  relay.WriteFile("VORLANX.INI", DataSection());
  ASSERT_TRUE(relay.Start());
  ASSERT_TRUE(relay.WaitBound("127.0.0.1", FPort));
  for (int i = 0; i < 20; ++i) ASSERT_TRUE(FSender.Send(FPort, Bytes({0x90, 0x3C, 0x64})));
  // Every datagram is taken off the socket, and the socket stays open.
  bool drained = false;
  for (int w = 0; w < 500 && !drained; ++w) {
    std::vector<TUdpSocket> sockets = UdpSockets(relay.Child().Pid());
    drained = sockets.size() == 1 && sockets[0].RxQueue == 0;
    if (!drained) ::usleep(20 * 1000);
  }
  EXPECT_TRUE(drained) << [&] {
    std::string d;
    for (const TUdpSocket& s : UdpSockets(relay.Child().Pid()))
      d += s.Addr + ":" + std::to_string(s.Port) + " rx " + std::to_string(s.RxQueue) + "; ";
    return d;
  }();
  ExpectCleanExit(relay);
  EXPECT_EQ(relay.Child().Stderr(),
            ServiceLines("127.0.0.1:" + std::to_string(FPort) + ", no MIDI output found"));
  EXPECT_EQ(Profile(relay, "Data", "MIDI-Out"), "0");
}

}  // namespace
