#include "tests/app/RelayProcess.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace relaytest {

namespace fs = std::filesystem;

namespace {

// Inodes of the sockets a process holds.
std::set<unsigned long> SocketInodes(pid_t Pid) {
  std::set<unsigned long> inodes;
  std::string dir = "/proc/" + std::to_string(Pid) + "/fd";
  DIR* d = ::opendir(dir.c_str());
  if (!d) return inodes;
  while (dirent* e = ::readdir(d)) {
    char target[128];
    ssize_t n = ::readlink((dir + "/" + e->d_name).c_str(), target, sizeof target - 1);
    if (n <= 0) continue;
    target[n] = 0;
    unsigned long inode;
    if (std::sscanf(target, "socket:[%lu]", &inode) == 1) inodes.insert(inode);
  }
  ::closedir(d);
  return inodes;
}

}  // namespace

// ---- TRelay ------------------------------------------------------------------

TRelay::TRelay(const std::string& Name) {
  char tmpl[] = "/tmp/vorlanx-app-XXXXXX";
  if (::mkdtemp(tmpl)) FDir = tmpl;
  FBinary = FDir + "/" + Name;
  std::error_code ec;
  fs::copy_file(VORLANX_BINARY, FBinary, ec);
}

TRelay::~TRelay() {
  if (FChild.Pid() > 0) FChild.Wait(0);  // kills it
  if (FMounted) ::umount2(FDir.c_str(), MNT_DETACH);
  std::error_code ec;
  if (!FDir.empty()) fs::remove_all(FDir, ec);
}

bool TRelay::MakeReadOnly() {
  if (!testjack::PrivateShmReady()) return false;  // no mount namespace of our own
  if (::mount(FDir.c_str(), FDir.c_str(), nullptr, MS_BIND, nullptr) != 0) return false;
  FMounted = true;
  return ::mount(nullptr, FDir.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
}

void TRelay::WriteFile(const std::string& Name, const std::string& Content) const {
  std::ofstream(FDir + "/" + Name, std::ios::binary) << Content;
}

std::string TRelay::ReadFile(const std::string& Name) const {
  std::ifstream in(FDir + "/" + Name, std::ios::binary);
  if (!in) return "<missing>";
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool TRelay::Start(const std::vector<std::string>& Env) {
  std::vector<std::string> argv = Prefix;
  argv.push_back(FBinary);
  // A sanitizer build would add its statistics to what the tests read on
  // standard error.
  std::vector<std::string> env = Env;
  const char* lsan = std::getenv("LSAN_OPTIONS");
  env.push_back(std::string("LSAN_OPTIONS=") + (lsan ? std::string(lsan) + ":" : std::string()) +
                "print_suppressions=0");
  return FChild.Start(argv, env);
}

bool TRelay::WaitBound(const std::string& Addr, uint16_t Port, int TimeoutMs) {
  for (int waited = 0; waited <= TimeoutMs; waited += 20) {
    for (const TUdpSocket& s : UdpSockets(FChild.Pid()))
      if (s.Addr == Addr && s.Port == Port) return true;
    ::usleep(20 * 1000);
  }
  return false;
}

int TRelay::Stop(int Sig) {
  FChild.Signal(Sig);
  return FChild.Wait(10000);
}

// ---- sockets -----------------------------------------------------------------

std::vector<TUdpSocket> UdpSockets(pid_t Pid) {
  std::vector<TUdpSocket> found;
  std::set<unsigned long> inodes = SocketInodes(Pid);
  std::ifstream in("/proc/" + std::to_string(Pid) + "/net/udp");
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    // sl local rem st tx:rx tr:when retrnsmt uid timeout inode ref pointer drops
    unsigned addr, port, tx, rx, uid;
    unsigned long inode;
    char rest[256] = {0};
    int n = std::sscanf(line.c_str(),
                        " %*d: %8X:%4X %*8X:%*4X %*2X %8X:%8X %*X:%*X %*X %u %*d %lu %255[^\n]",
                        &addr, &port, &tx, &rx, &uid, &inode, rest);
    if (n < 6 || !inodes.count(inode)) continue;
    TUdpSocket s;
    in_addr a;
    a.s_addr = addr;  // as the kernel printed the word: the host's view of network order
    char text[INET_ADDRSTRLEN];
    s.Addr = ::inet_ntop(AF_INET, &a, text, sizeof text) ? text : "";
    s.Port = static_cast<uint16_t>(port);
    s.RxQueue = rx;
    // The drop count is the last field.
    std::string r(rest);
    size_t sp = r.find_last_of(' ');
    s.Drops = static_cast<uint32_t>(
        std::strtoul(r.c_str() + (sp == std::string::npos ? 0 : sp + 1), nullptr, 10));
    found.push_back(s);
  }
  return found;
}

bool UdpPortFree(uint16_t Port) {
  int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(Port);
  bool ok = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  if (fd >= 0) ::close(fd);
  return ok;
}

TSender::TSender() : FFd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {}
TSender::~TSender() {
  if (FFd >= 0) ::close(FFd);
}

bool TSender::Send(uint16_t Port, const std::string& Data) {
  return loopback::SendUdp(FFd, Port, Data.data(), Data.size());
}

TPortHolder::TPortHolder(uint16_t Port) : FFd(loopback::BindUdp(&Port)) {}

TPortHolder::~TPortHolder() {
  if (FFd >= 0) ::close(FFd);
}

std::string Bytes(std::initializer_list<int> Values) {
  std::string s;
  for (int v : Values) s += static_cast<char>(v);
  return s;
}

size_t CountOf(const std::string& Text, const std::string& Part) {
  size_t n = 0;
  for (size_t at = Text.find(Part); at != std::string::npos; at = Text.find(Part, at + 1)) ++n;
  return n;
}

// ---- the JACK fixture ----------------------------------------------------------

void TRelayTest::SetUp() {
  VORLANX_REQUIRE_PRIVATE_SHM();
  std::string error;
  ASSERT_TRUE(FServer.Start(256, 48000, &error)) << error;
  ASSERT_TRUE(FSynth.Open("synth", {"in_a", "in_b"}, &error)) << error;
}

void TRelayTest::TearDown() { FSynth.Close(); }

bool TRelayTest::WaitConnected(int Index, int TimeoutMs) {
  return FSynth.WaitConnections(Index, 1, TimeoutMs);
}

void TRelayTest::ExpectRelayed(uint16_t Port, const std::string& Datagram, int Input) {
  ASSERT_TRUE(FSender.Send(Port, Datagram));
  std::vector<testjack::TMidiEvent> got = FSynth.Wait(1, 5000);
  ASSERT_EQ(got.size(), 1u) << "nothing arrived";
  EXPECT_EQ(got[0].Port, Input);
  EXPECT_EQ(got[0].Data(), std::vector<uint8_t>(Datagram.begin(), Datagram.end()));
}

void TRelayTest::HoldNotes(uint16_t Port, int Input) {
  const std::initializer_list<int> messages[] = {
      {0x90, 0x3C, 0x64}, {0x91, 0x40, 0x64}, {0x90, 0x3E, 0x64}, {0x80, 0x3E, 0x00},
      {0xB1, 0x40, 0x7F}, {0xB0, 0x40, 0x7F}, {0xB0, 0x40, 0x00}};
  for (const auto& m : messages) ASSERT_TRUE(FSender.Send(Port, Bytes(m)));
  std::vector<testjack::TMidiEvent> got = FSynth.Wait(7, 5000);
  ASSERT_EQ(got.size(), 7u);
  for (const testjack::TMidiEvent& e : got) ASSERT_EQ(e.Port, Input);
}

void TRelayTest::ExpectHeldNotesEnded(int Input) {
  std::vector<testjack::TMidiEvent> got = FSynth.Wait(3, 5000);
  for (const testjack::TMidiEvent& e : FSynth.Settle()) got.push_back(e);
  std::vector<std::vector<uint8_t>> bytes;
  for (const testjack::TMidiEvent& e : got) {
    EXPECT_EQ(e.Port, Input);
    bytes.push_back(e.Data());
  }
  EXPECT_EQ(bytes, (std::vector<std::vector<uint8_t>>{
                       {0x80, 0x3C, 0x40}, {0x81, 0x40, 0x40}, {0xB1, 0x40, 0x00}}));
}

}  // namespace relaytest
