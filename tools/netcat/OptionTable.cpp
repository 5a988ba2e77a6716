// The rows of vxcat's option table and the readers of their values.
#include "tools/netcat/OptionTable.h"

namespace vxcat {

namespace {

TEofPolicy ParseEof(const std::string& value) {
  if (value == "half") return TEofPolicy::HalfClose;
  if (value == "close") return TEofPolicy::Close;
  if (value == "keep") return TEofPolicy::Keep;
  throw EUsage("--eof takes half, close or keep, not '" + value + "'");
}

void SetLookup(TOptions& o, TLookup Lookup, const std::string& Text) {
  if (o.Lookup != TLookup::None) throw EUsage("one lookup at a time: --resolve or --reverse");
  o.Lookup = Lookup;
  o.LookupText = Text;
}

// HOST:PORT, split at the last colon.
void SetProxy(TOptions& o, const std::string& value) {
  size_t colon = value.rfind(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 == value.size())
    throw EUsage("--proxy takes HOST:PORT, not '" + value + "'");
  o.ProxyHost = value.substr(0, colon);
  o.ProxyPort = value.substr(colon + 1);
}

void SetProxyType(TOptions& o, const std::string& value) {
  if (value != "4" && value != "4a" && value != "4A" && value != "5")
    throw EUsage("--proxy-type takes 4, 4a or 5, not '" + value + "'");
  o.ProxyType = value;
}

// USER:PASS, split at the first colon (a password may hold colons).
void SetProxyAuth(TOptions& o, const std::string& value) {
  size_t colon = value.find(':');
  if (colon == std::string::npos) throw EUsage("--proxy-auth takes USER:PASS");
  o.ProxyAuth = true;
  o.ProxyUser = value.substr(0, colon);
  o.ProxyPassword = value.substr(colon + 1);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A terminator by name (crlf, lf, cr, nul) or as text with \r \n \t \0 \\ \xHH.
std::string ParseLineEnd(const std::string& value) {
  if (value == "crlf") return "\r\n";
  if (value == "lf") return "\n";
  if (value == "cr") return "\r";
  if (value == "nul") return std::string(1, '\0');
  std::string end;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\') {
      end += value[i];
      continue;
    }
    char c = i + 1 < value.size() ? value[++i] : '\0';
    switch (c) {
      case 'r':
        end += '\r';
        break;
      case 'n':
        end += '\n';
        break;
      case 't':
        end += '\t';
        break;
      case '0':
        end += '\0';
        break;
      case '\\':
        end += '\\';
        break;
      case 'x': {
        int hi = i + 1 < value.size() ? HexDigit(value[i + 1]) : -1;
        int lo = i + 2 < value.size() ? HexDigit(value[i + 2]) : -1;
        if (hi < 0 || lo < 0) throw EUsage("--line-end: \\x needs two hex digits");
        end += static_cast<char>(hi * 16 + lo);
        i += 2;
        break;
      }
      default:
        throw EUsage("--line-end: unknown escape in '" + value + "'");
    }
  }
  if (end.empty()) throw EUsage("--line-end needs at least one byte");
  return end;
}

// A size from 1 to the largest datagram, in decimal digits.
size_t ParseDatagramSize(const std::string& value) {
  if (value.empty() || value.size() > 5 ||
      value.find_first_not_of("0123456789") != std::string::npos || std::stoul(value) == 0 ||
      std::stoul(value) > kMaxDatagram)
    throw EUsage("--datagram takes a size from 1 to " + std::to_string(kMaxDatagram) + ", not '" +
                 value + "'");
  return std::stoul(value);
}

void SetFraming(TOptions& o, TFraming Framing) {
  if (o.Framing != TFraming::Reads && o.Framing != Framing)
    throw EUsage("one of --datagram and --hex at a time");
  o.Framing = Framing;
}

}  // namespace

const std::vector<TOptionSpec>& OptionTable() {
  static const std::vector<TOptionSpec> table = {
      {'l', "listen", nullptr,
       "listen for connections (TCP) or datagrams (UDP) instead of connecting",
       [](TOptions& o, const std::string&) { o.Mode = TMode::Listen; }},
      {'u', "udp", nullptr, "use UDP instead of TCP",
       [](TOptions& o, const std::string&) { o.Transport = TTransport::Udp; }},
      {'k', "keep-open", nullptr,
       "with -l (TCP): serve several connections at once; keep listening",
       [](TOptions& o, const std::string&) { o.KeepOpen = true; }},
      {'s', "source", "ADDR", "local address: the address to listen on, or to connect from",
       [](TOptions& o, const std::string& v) { o.LocalAddr = v; }},
      {'p', "source-port", "PORT", "local port: the port to listen on, or to connect from",
       [](TOptions& o, const std::string& v) { o.LocalPort = v; }},
      {0, "eof", "MODE", "what the end of standard input does: half, close or keep (see below)",
       [](TOptions& o, const std::string& v) {
         o.Eof = ParseEof(v);
         o.EofGiven = true;
       }},
      {0, "datagram", "N", "UDP: send standard input in datagrams of N bytes (the last shorter)",
       [](TOptions& o, const std::string& v) {
         SetFraming(o, TFraming::Fixed);
         o.DatagramSize = ParseDatagramSize(v);
       }},
      {0, "hex", nullptr, "UDP: read lines of hex byte pairs (90 3c 64), send each as one datagram",
       [](TOptions& o, const std::string&) { SetFraming(o, TFraming::Hex); }},
      {0, "line", nullptr, "TCP: line mode: take what each peer sends line by line (see below)",
       [](TOptions& o, const std::string&) { o.Line = true; }},
      {0, "line-end", "END", "with --line: the terminator: crlf (default), lf, cr, nul or text",
       [](TOptions& o, const std::string& v) { o.LineEnd = ParseLineEnd(v); }},
      {0, "echo", nullptr, "with --line: send back what the peer types",
       [](TOptions& o, const std::string&) { o.LineEcho = true; }},
      {0, "edit", nullptr, "with --line: apply backspace and tab as a terminal does",
       [](TOptions& o, const std::string&) { o.LineEdit = true; }},
      {0, "resolve", "NAME", "print every address of NAME, one a line, and exit",
       [](TOptions& o, const std::string& v) { SetLookup(o, TLookup::Forward, v); }},
      {0, "reverse", "ADDRESS", "print the host name of ADDRESS and exit",
       [](TOptions& o, const std::string& v) { SetLookup(o, TLookup::Reverse, v); }},
      {0, "proxy", "HOST:PORT", "connect through the SOCKS proxy at HOST:PORT",
       [](TOptions& o, const std::string& v) { SetProxy(o, v); }},
      {0, "proxy-type", "4|4a|5", "the proxy's SOCKS version (default 5; 4a: the proxy resolves)",
       [](TOptions& o, const std::string& v) { SetProxyType(o, v); }},
      {0, "proxy-auth", "USER:PASS",
       "SOCKS5 user name and password; SOCKS4/4a: USER is the user id",
       [](TOptions& o, const std::string& v) { SetProxyAuth(o, v); }},
      {'v', "verbose", nullptr, "report listening, connections and their ends on standard error",
       [](TOptions& o, const std::string&) { o.Verbose = true; }},
      {'h', "help", nullptr, "show this text and exit",
       [](TOptions& o, const std::string&) { o.Help = true; }},
  };
  return table;
}

}  // namespace vxcat
