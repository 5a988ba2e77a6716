// The command line of vxcat: what to do, where, and what end of input means.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

namespace vxcat {

enum class TMode { Connect, Listen };
enum class TTransport { Tcp, Udp };

// What the end of standard input does to a connection, once everything read
// before it has been handed to the network.
enum class TEofPolicy {
  HalfClose,  // stop sending (FIN), keep receiving until the peer closes
  Close,      // close the connection (UDP: end the program)
  Keep        // ignore it: the connection stays open both ways
};

// A name lookup instead of a connection: every address of a name, or the
// name of an address.
enum class TLookup { None, Forward, Reverse };

// How UDP cuts standard input into datagrams.
enum class TFraming {
  Reads,  // each piece read, in datagrams of at most 1460 bytes
  Fixed,  // datagrams of DatagramSize bytes, the last one shorter
  Hex     // one datagram per line of hexadecimal byte pairs
};

// The largest payload of one UDP datagram over IPv4.
constexpr size_t kMaxDatagram = 65507;

struct TOptions {
  TMode Mode = TMode::Connect;
  TTransport Transport = TTransport::Tcp;
  std::string Host;       // connect: remote host; listen: bind address
  std::string Port;       // connect: remote port; listen: port to listen on
  std::string LocalAddr;  // connect: local address to bind to (empty: any)
  std::string LocalPort;  // connect: local port to bind to (empty: any)
  bool KeepOpen = false;  // listen: several connections at once, keep listening
  // After parsing: the policy given, or the mode's default (see HelpText).
  TEofPolicy Eof = TEofPolicy::HalfClose;
  bool EofGiven = false;  // --eof was on the command line
  bool Verbose = false;
  bool Line = false;             // TCP: line mode on every connection
  std::string LineEnd = "\r\n";  // its terminator
  bool LineEcho = false;         // echo what the peer types
  bool LineEdit = false;         // apply backspace and tab as a terminal would
  TFraming Framing = TFraming::Reads;
  size_t DatagramSize = 0;  // with TFraming::Fixed
  TLookup Lookup = TLookup::None;
  std::string LookupText;  // the name (forward) or the address (reverse)
  // Connecting through a SOCKS proxy (ProxyHost empty: directly).
  std::string ProxyHost;
  std::string ProxyPort;
  std::string ProxyType;      // "4", "4a"/"4A" or "5"; empty: 5
  bool ProxyAuth = false;     // --proxy-auth given
  std::string ProxyUser;      // SOCKS5 user name, SOCKS4/4A user id
  std::string ProxyPassword;  // SOCKS5 only
  bool Help = false;
};

// A command line that cannot be understood; the text says why.
class EUsage : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads the arguments after the program name. Raises EUsage.
TOptions ParseOptions(const std::vector<std::string>& Args);

// The text --help prints.
std::string HelpText();

}  // namespace vxcat
