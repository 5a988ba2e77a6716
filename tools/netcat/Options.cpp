#include "tools/netcat/Options.h"

#include <functional>

namespace vxcat {

namespace {

// One option of the table below; new options (lookups, proxies, line mode)
// are one more row each.
struct TOptionSpec {
  char Short;  // 0: long form only
  const char* Long;
  const char* ValueName;  // nullptr: a switch without value
  const char* Help;
  std::function<void(TOptions&, const std::string&)> Apply;
};

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
       [](TOptions& o, const std::string& v) { o.Eof = ParseEof(v); }},
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

const TOptionSpec* FindShort(char c) {
  for (const TOptionSpec& spec : OptionTable())
    if (spec.Short == c) return &spec;
  return nullptr;
}

const TOptionSpec* FindLong(const std::string& name) {
  for (const TOptionSpec& spec : OptionTable())
    if (name == spec.Long) return &spec;
  return nullptr;
}

// Puts the positional arguments in their places for the chosen mode.
void PlacePositionals(TOptions& o, const std::vector<std::string>& pos) {
  if (o.Mode == TMode::Connect) {
    if (pos.size() != 2) throw EUsage("connecting needs a host and a port");
    o.Host = pos[0];
    o.Port = pos[1];
    return;
  }
  // Listening: [ADDR] PORT, or the same through -s and -p.
  if (pos.size() > 2) throw EUsage("too many arguments for -l");
  if (pos.size() == 2) {
    o.Host = pos[0];
    o.Port = pos[1];
  } else if (pos.size() == 1) {
    o.Port = pos[0];
  }
  if (o.Host.empty()) o.Host = o.LocalAddr.empty() ? "0.0.0.0" : o.LocalAddr;
  if (o.Port.empty()) o.Port = o.LocalPort;
  if (o.Port.empty()) throw EUsage("listening needs a port");
  o.LocalAddr.clear();
  o.LocalPort.clear();
}

// A port given as a number is one the socket can have: the component takes the
// low 16 bits of whatever number it is given (99999 would be port 34463) and
// ignores what follows the digits. A name is the services database's to judge.
void CheckPort(const std::string& Port) {
  if (Port.empty() || Port[0] < '0' || Port[0] > '9') return;
  if (Port.find_first_not_of("0123456789") != std::string::npos || Port.size() > 5 ||
      std::stol(Port) > 65535)
    throw EUsage("port " + Port + " is not a number from 0 to 65535");
}

}  // namespace

TOptions ParseOptions(const std::vector<std::string>& Args) {
  TOptions o;
  std::vector<std::string> positionals;
  for (size_t i = 0; i < Args.size(); ++i) {
    const std::string& arg = Args[i];
    auto takeValue = [&](const TOptionSpec& spec, std::string inlineValue, bool hasInline) {
      if (!spec.ValueName) {
        if (hasInline) throw EUsage(std::string("--") + spec.Long + " takes no value");
        spec.Apply(o, std::string());
        return;
      }
      if (!hasInline) {
        if (i + 1 >= Args.size())
          throw EUsage(std::string("--") + spec.Long + " needs " + spec.ValueName);
        inlineValue = Args[++i];
      }
      spec.Apply(o, inlineValue);
    };
    if (arg == "--") {
      positionals.insert(positionals.end(), Args.begin() + static_cast<long>(i) + 1, Args.end());
      break;
    }
    if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
      std::string name = arg.substr(2);
      std::string value;
      size_t eq = name.find('=');
      bool hasValue = eq != std::string::npos;
      if (hasValue) {
        value = name.substr(eq + 1);
        name.resize(eq);
      }
      const TOptionSpec* spec = FindLong(name);
      if (!spec) throw EUsage("unknown option --" + name);
      takeValue(*spec, value, hasValue);
      continue;
    }
    if (arg.size() > 1 && arg[0] == '-') {
      // Bundled switches (-ulk); a value-taking letter takes the rest or the next argument.
      for (size_t k = 1; k < arg.size(); ++k) {
        const TOptionSpec* spec = FindShort(arg[k]);
        if (!spec) throw EUsage(std::string("unknown option -") + arg[k]);
        if (spec->ValueName && k + 1 < arg.size()) {
          takeValue(*spec, arg.substr(k + 1), true);
          break;
        }
        takeValue(*spec, std::string(), false);
      }
      continue;
    }
    positionals.push_back(arg);
  }
  if (o.Help) return o;
  if (o.Lookup != TLookup::None) {
    if (!positionals.empty() || o.Mode != TMode::Connect)
      throw EUsage("--resolve and --reverse take no other arguments");
    return o;
  }
  if (o.ProxyHost.empty() && (!o.ProxyType.empty() || o.ProxyAuth))
    throw EUsage("--proxy-type and --proxy-auth go with --proxy");
  if (!o.ProxyHost.empty() && (o.Mode != TMode::Connect || o.Transport != TTransport::Tcp))
    throw EUsage("--proxy goes with connecting over TCP only");
  if (o.KeepOpen && (o.Mode != TMode::Listen || o.Transport != TTransport::Tcp))
    throw EUsage("-k goes with -l and TCP only");
  if (!o.Line && (o.LineEcho || o.LineEdit || o.LineEnd != "\r\n"))
    throw EUsage("--line-end, --echo and --edit go with --line");
  if (o.Line && o.Transport != TTransport::Tcp) throw EUsage("--line goes with TCP only");
  PlacePositionals(o, positionals);
  for (const std::string* port : {&o.Port, &o.LocalPort, &o.ProxyPort}) CheckPort(*port);
  return o;
}

std::string HelpText() {
  std::string text =
      "usage: vxcat [options] HOST PORT        connect, then copy stdin to the peer and the peer "
      "to stdout\n"
      "       vxcat -l [options] [ADDR] PORT   listen on ADDR (default 0.0.0.0) and PORT (0: any "
      "free port)\n"
      "       vxcat --resolve NAME             every address of NAME, one a line\n"
      "       vxcat --reverse ADDRESS          the host name of ADDRESS\n"
      "\n"
      "options:\n";
  for (const TOptionSpec& spec : OptionTable()) {
    std::string left = "  ";
    left += spec.Short ? std::string("-") + spec.Short + ", " : "    ";
    left += std::string("--") + spec.Long;
    if (spec.ValueName) left += std::string(spec.Short ? " " : "=") + spec.ValueName;
    if (left.size() < 26)
      left.resize(26, ' ');
    else
      left += "  ";
    text += left + spec.Help + "\n";
  }
  text +=
      "\n"
      "End of standard input (--eof):\n"
      "  half   (default) once everything read before it has gone out, stop sending: the peer\n"
      "         sees end of data, and vxcat keeps printing what the peer sends until it closes.\n"
      "  close  once everything read has gone out, close the connection and end. With UDP, end.\n"
      "  keep   ignore it: keep the connection open both ways until the peer closes.\n"
      "  With UDP, half and keep both mean: keep receiving until interrupted.\n"
      "When the peer ends its sending, the connection ends (the socket component takes the\n"
      "peer's end as the end of the session); input read but not yet sent is then reported.\n"
      "\n"
      "Line mode (--line): what a peer sends is taken one line at a time, terminator\n"
      "included, and printed as it came. With --edit a backspace erases the last byte of\n"
      "the unfinished line and a tab becomes blanks up to the next multiple of 8 columns;\n"
      "with --echo the peer gets back what it typed (a backspace as BS, blank, BS). A line\n"
      "longer than 65536 bytes without a terminator is dropped and reported; what is held\n"
      "when the peer closes is printed as a last line. `vxcat -l -k --line --echo --edit 7000`\n"
      "is a line server a telnet client can type into.\n"
      "\n"
      "TCP listening accepts one connection and ends when it ends; with -k it accepts several\n"
      "at once, sends what stdin gives to every open connection, prints what each sends, and\n"
      "runs until interrupted. UDP listening prints every datagram and sends stdin to the last\n"
      "sender (stdin waits until a first datagram has come).\n"
      "\n"
      "Through a proxy (--proxy) the proxy connects to HOST PORT: with SOCKS5 and 4a it resolves\n"
      "HOST itself, with SOCKS4 vxcat resolves it. A refusal by the proxy prints its reason.\n"
      "\n"
      "Exit status: 0 when the connection ended normally, 1 when a connection was refused (also\n"
      "by a proxy) or reset, a name did not resolve, input was left unsent or another error\n"
      "happened (its text goes to standard error), 2 for a command line that cannot be\n"
      "understood, 130 when interrupted (Ctrl+C).\n";
  return text;
}

}  // namespace vxcat
