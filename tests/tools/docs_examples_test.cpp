// Every command example of the README and the man pages that runs vxcat or
// vxmidi, run as written (only the ports adapted) under sh (dash) and bash,
// each against what it claims: notes the relay plays, servers that serve
// several clients, lookups, proxies and the output the document shows. An
// example without a check here, or a check whose example has gone, fails.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <set>

#include "DocExamples.h"
#include "DocsFixture.h"
#include "ProxyProcess.h"
#include "StreamPeer.h"
#include "tests/support/Loopback.h"

namespace docs {

namespace {

using streampeer::Conn;

const TBytes kNoteOn{0x90, 0x3c, 0x64}, kNoteOff{0x80, 0x3c, 0x00};

// A TCP socket listening on the port, as the kernel lists them (asking by
// connecting would be the one connection a plain -l server takes).
bool ListeningOn(uint16_t Port) {
  char local[16];
  std::snprintf(local, sizeof local, ":%04X", Port);
  std::ifstream tcp("/proc/net/tcp");
  std::string line;
  while (std::getline(tcp, line))
    if (line.find(local) == 14 && line.substr(34, 2) == "0A") return true;
  return false;
}

std::vector<TExample> AllExamples() {
  std::vector<TExample> all = ReadmeExamples(DOCS_SOURCE_DIR "/README.md");
  for (const char* page : {"vorlanx.1", "vxcat.1", "vxmidi.1"}) {
    std::vector<TExample> more =
        ManExamples(std::string(DOCS_SOURCE_DIR "/share/man/man1/") + page);
    all.insert(all.end(), more.begin(), more.end());
  }
  return all;
}

class DocExamples : public TDocsTest {
 protected:
  // Runs a command that ends by itself; its standard output.
  std::string Ends(const std::string& Shell, const std::string& Command, int Status = 0) {
    EXPECT_EQ(Run(Shell, Command), Status) << Read("err");
    return Read("out");
  }
  // Starts a server and waits until it listens on Port.
  bool Serving(const std::string& Shell, const std::string& Command, uint16_t Port,
               const std::string& Stdin = "") {
    Start(Shell, Command, Stdin);
    return support::WaitUntil([&] { return ListeningOn(Port); }, 10000);
  }
  Conn Client(uint16_t Port) {
    Conn c = streampeer::ConnectTo(Port);
    EXPECT_TRUE(c.Valid());
    return c;
  }
  // Through a proxy to the echo server, standard input typed into a pipe.
  void ThroughProxy(const std::string& Shell, const std::string& Text, uint16_t Proxy) {
    streampeer::EchoServer echo;
    Start(Shell, AdaptPorts(Text, {{"1080", Proxy}, {"80", echo.Port()}}));
    ASSERT_TRUE(Started().WriteIn("hello through the proxy\n"));
    EXPECT_TRUE(WaitFor("out", "hello through the proxy\n")) << Read("err");
    Started().CloseIn();
    EXPECT_EQ(Started().Wait(10000), 0) << Read("err");
  }
};

TEST_F(DocExamples, EveryExampleRunsAsWritten) {
  const uint16_t relay = loopback::FreeUdpPort();
  ASSERT_TRUE(StartRelay(relay)) << Read("relay/err");
  Write("notes.bin", std::string("\x90\x3c\x64\x80\x3c\x00", 6));
  using TCheck = std::function<std::string(const std::string& Shell, const std::string& Text)>;
  // Sends to the relay: it plays exactly these notes.
  auto plays = [&](std::vector<TBytes> Notes) -> TCheck {
    return [this, relay, Notes](const std::string& Shell, const std::string& Text) {
      std::string out = Ends(Shell, AdaptPorts(Text, {{"55555", relay}}));
      EXPECT_EQ(Played(Notes.size()), Notes);
      return out;
    };
  };
  auto testNote = [&](bool Drum) -> TCheck {
    return [this, Drum](const std::string& Shell, const std::string& Text) {
      std::string out = Ends(Shell, Text);
      EXPECT_EQ(Played(2, Drum), (std::vector<TBytes>{kNoteOn, kNoteOff}));
      return out;
    };
  };
  // Through a proxy of the given kind to the echo server.
  auto proxied = [&](std::function<void(streampeer::ProxyProcess&)> StartProxy) -> TCheck {
    return [this, StartProxy](const std::string& Shell, const std::string& Text) {
      streampeer::ProxyProcess proxy;
      StartProxy(proxy);
      ThroughProxy(Shell, Text, proxy.Port());
      return std::string();
    };
  };
  std::map<std::string, TCheck> checks = {
      {"echo '90 3c 64' | vxcat -u --hex 127.0.0.1 55555", plays({kNoteOn})},
      {"echo '80 3c 00' | vxcat -u --hex 127.0.0.1 55555", plays({kNoteOff})},
      {"printf '90 3c 64\\n80 3c 00\\n' | vxcat -u --hex 127.0.0.1 55555",
       plays({kNoteOn, kNoteOff})},
      {"vxcat -u --datagram 3 127.0.0.1 55555 < notes.bin", plays({kNoteOn, kNoteOff})},
      {"vxmidi --list",
       [&](const std::string& Shell, const std::string& Text) { return Ends(Shell, Text); }},
      {"vxmidi --play 0", testNote(false)},
      {"vxmidi --play synth:in", testNote(false)},
      {"vxmidi --play 1", testNote(true)},
      {"vxcat --resolve example.org",
       [&](const std::string& Shell, const std::string& Text) {
         EXPECT_EQ(Ends(Shell, Text), "127.0.0.1\n");
         return std::string();
       }},
      {"vxcat --reverse 192.168.1.10",
       [&](const std::string& Shell, const std::string& Text) {
         EXPECT_EQ(Ends(Shell, Text), "studio.example\n");
         return std::string();
       }},
      {"vxcat --help",
       [&](const std::string& Shell, const std::string& Text) {
         EXPECT_EQ(Ends(Shell, Text).rfind("usage: vxcat", 0), 0u);
         return std::string();
       }},
      // Standard input as typed: it goes to every client; each one's bytes are printed.
      {"vxcat -l -k 7000",
       [&](const std::string& Shell, const std::string& Text) {
         const uint16_t tcp = loopback::FreeTcpPort();
         EXPECT_TRUE(Serving(Shell, AdaptPorts(Text, {{"7000", tcp}}), tcp)) << Read("err");
         Conn a = Client(tcp), b = Client(tcp);
         a.Write("from a\n");
         b.Write("from b\n");
         EXPECT_TRUE(WaitFor("out", "from a\n") && WaitFor("out", "from b\n")) << Read("out");
         EXPECT_TRUE(Started().WriteIn("to all\n"));
         EXPECT_EQ(a.Read(7, 5000), "to all\n");
         EXPECT_EQ(b.Read(7, 5000), "to all\n");
         StopStarted();
         return std::string();
       }},
      // Started as under nohup: each client types, with echo and editing.
      {"vxcat -l -k --line --echo --edit 7000",
       [&](const std::string& Shell, const std::string& Text) {
         const uint16_t tcp = loopback::FreeTcpPort();
         EXPECT_TRUE(Serving(Shell, AdaptPorts(Text, {{"7000", tcp}}), tcp, "/dev/null"));
         Conn a = Client(tcp), b = Client(tcp);
         for (Conn* c : {&a, &b}) {
           c->Write("ab\bc\r\n");
           EXPECT_EQ(c->Read(8, 5000), "ab\b \bc\r\n");
         }
         EXPECT_TRUE(WaitFor("out", "ac\r\nac\r\n")) << Read("out");
         StopStarted();
         return std::string();
       }},
      {"vxcat -l --line --line-end lf 7000",
       [&](const std::string& Shell, const std::string& Text) {
         const uint16_t tcp = loopback::FreeTcpPort();
         EXPECT_TRUE(Serving(Shell, AdaptPorts(Text, {{"7000", tcp}}), tcp, "/dev/null"));
         Conn c = Client(tcp);
         c.Write("one\ntwo\n");
         c.Close();
         EXPECT_EQ(Started().Wait(10000), 0) << Read("err");
         EXPECT_EQ(Read("out"), "one\ntwo\n");
         return std::string();
       }},
      {"vxcat --proxy 127.0.0.1:1080 example.org 80",
       proxied([](streampeer::ProxyProcess& p) { p.StartMicrosocks(); })},
      {"vxcat --proxy 127.0.0.1:1080 --proxy-auth ann:secret example.org 80",
       proxied([](streampeer::ProxyProcess& p) { p.StartMicrosocks("ann", "secret"); })},
      {"vxcat --proxy 127.0.0.1:1080 --proxy-type 4 example.org 80",
       proxied([](streampeer::ProxyProcess& p) { p.StartDanted(); })},
  };

  std::set<std::string> shown;
  for (const TExample& e : AllExamples()) {
    shown.insert(e.Key);
    auto check = checks.find(e.Key);
    if (check == checks.end()) {
      ADD_FAILURE() << e.Where << ": no test runs `" << e.Text << "`";
      continue;
    }
    for (const char* shell : {"/bin/sh", "/bin/bash"}) {
      SCOPED_TRACE(e.Where + " under " + shell + ": " + e.Text);
      std::string out = check->second(shell, e.Text);
      // The output the document shows is how the output begins.
      std::string expected;
      for (const std::string& line : e.Output) expected += line + "\n";
      EXPECT_EQ(out.substr(0, expected.size()), expected);
    }
  }
  for (const auto& c : checks)
    EXPECT_TRUE(shown.count(c.first)) << "no document shows `" << c.first << "` any more";
}

}  // namespace

}  // namespace docs
