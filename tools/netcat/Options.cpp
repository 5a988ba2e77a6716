// vxcat's command line read with the C library's getopt_long, from the option
// table; then what the options mean together, and the ports and addresses
// checked before anything is sent.
#include "tools/netcat/Options.h"

#include <getopt.h>

#include "net/WSocket.h"
#include "rtl/SysUtils.h"
#include "tools/netcat/OptionTable.h"

namespace vxcat {

namespace {

// getopt_long's code of a row without a letter: above every char.
constexpr int kLongOnly = 256;

const TOptionSpec* FindCode(int Code) {
  const std::vector<TOptionSpec>& table = OptionTable();
  if (Code >= kLongOnly && Code - kLongOnly < static_cast<int>(table.size()))
    return &table[static_cast<size_t>(Code - kLongOnly)];
  for (const TOptionSpec& spec : table)
    if (spec.Short != 0 && spec.Short == Code) return &spec;
  return nullptr;
}

// Runs getopt_long over Args; the options are applied to o, the other
// arguments come back in their order.
std::vector<std::string> ApplyOptions(const std::vector<std::string>& Args, TOptions& o) {
  const std::vector<TOptionSpec>& table = OptionTable();
  // "-": other arguments come back as code 1, in place, whatever the
  // environment says about permuting; ":": a missing value is ':', not '?'.
  std::string shorts = "-:";
  std::vector<option> longs;
  for (size_t i = 0; i < table.size(); ++i) {
    const TOptionSpec& spec = table[i];
    int code = spec.Short ? spec.Short : kLongOnly + static_cast<int>(i);
    if (spec.Short) shorts += std::string(1, spec.Short) + (spec.ValueName ? ":" : "");
    longs.push_back({spec.Long, spec.ValueName ? required_argument : no_argument, nullptr, code});
  }
  longs.push_back({nullptr, 0, nullptr, 0});

  std::vector<std::string> storage;
  storage.reserve(Args.size() + 1);
  storage.push_back("vxcat");
  storage.insert(storage.end(), Args.begin(), Args.end());
  std::vector<char*> argv;
  for (std::string& s : storage) argv.push_back(&s[0]);
  argv.push_back(nullptr);
  const int argc = static_cast<int>(storage.size());

  std::vector<std::string> positionals;
  opterr = 0;  // the messages are ours
  optind = 0;  // a fresh scan
  for (;;) {
    int code = getopt_long(argc, argv.data(), shorts.c_str(), longs.data(), nullptr);
    if (code == -1) break;
    if (code == 1) {
      positionals.push_back(optarg);
      continue;
    }
    if (code == '?' || code == ':') {
      const TOptionSpec* spec = optopt ? FindCode(optopt) : nullptr;
      if (!spec && optopt)
        throw EUsage(std::string("unknown option -") + static_cast<char>(optopt));
      if (!spec) {
        std::string name = argv[optind - 1];
        name = name.substr(0, name.find('='));
        throw EUsage("unknown option " + name);
      }
      // A known option fails in one way only: a switch given a value, or a
      // value missing.
      if (!spec->ValueName) throw EUsage(std::string("--") + spec->Long + " takes no value");
      throw EUsage(std::string("--") + spec->Long + " needs " + spec->ValueName);
    }
    const TOptionSpec* spec = FindCode(code);
    spec->Apply(o, spec->ValueName ? std::string(optarg) : std::string());
  }
  // After "--" everything is an argument.
  for (int i = optind; i < argc; ++i) positionals.push_back(storage[static_cast<size_t>(i)]);
  return positionals;
}

// Puts the other arguments in their places for the chosen mode.
void PlacePositionals(TOptions& o, const std::vector<std::string>& pos) {
  if (o.Mode == TMode::Connect) {
    if (pos.size() > 2)
      throw EUsage("unexpected argument '" + pos[2] + "': connecting takes a host and a port");
    if (pos.size() != 2) throw EUsage("connecting needs a host and a port");
    o.Host = pos[0];
    o.Port = pos[1];
    return;
  }
  // Listening: [ADDR] PORT, or the same through -s and -p.
  if (pos.size() > 2)
    throw EUsage("unexpected argument '" + pos[2] + "': -l takes an address and a port at most");
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

// A port is a number the socket can have, or a service name the services
// database knows for the protocol. The component itself would take the low 16
// bits of any number (99999 would be port 34463) and ignore what follows the
// digits; a name it could not find would only fail once the program runs.
void CheckPort(const std::string& Port, const char* Proto) {
  if (!Port.empty() && Port[0] >= '0' && Port[0] <= '9') {
    if (Port.find_first_not_of("0123456789") != std::string::npos || Port.size() > 5 ||
        std::stol(Port) > 65535)
      throw EUsage("port " + Port + " is not a number from 0 to 65535");
    return;
  }
  bool known = false;
  if (!Port.empty() && Port == Trim(Port)) {
    try {
      WSocketResolvePort(Port, Proto);
      known = true;
    } catch (const Exception&) {
    }
  }
  if (!known)
    throw EUsage("port '" + Port + "' is not a number from 0 to 65535 nor a " + Proto +
                 " service name");
}

// The end of input each mode is best served by, where --eof does not say.
TEofPolicy DefaultEof(const TOptions& o) {
  // A sender ends once its datagrams have gone out: `... | vxcat -u HOST PORT` ends by itself.
  if (o.Transport == TTransport::Udp && o.Mode == TMode::Connect) return TEofPolicy::Close;
  // A server of several clients, or one whose clients see their own typing, serves
  // each until it closes; a half close would stop the echo.
  if (o.Transport == TTransport::Tcp && o.Mode == TMode::Listen && o.KeepOpen)
    return TEofPolicy::Keep;
  if (o.LineEcho) return TEofPolicy::Keep;
  return TEofPolicy::HalfClose;
}

void CheckCombinations(const TOptions& o) {
  if (o.ProxyHost.empty() && (!o.ProxyType.empty() || o.ProxyAuth))
    throw EUsage("--proxy-type and --proxy-auth go with --proxy");
  if (!o.ProxyHost.empty() && (o.Mode != TMode::Connect || o.Transport != TTransport::Tcp))
    throw EUsage("--proxy goes with connecting over TCP only");
  if (o.KeepOpen && (o.Mode != TMode::Listen || o.Transport != TTransport::Tcp))
    throw EUsage("-k goes with -l and TCP only");
  if (!o.Line && (o.LineEcho || o.LineEdit || o.LineEnd != "\r\n"))
    throw EUsage("--line-end, --echo and --edit go with --line");
  if (o.Line && o.Transport != TTransport::Tcp) throw EUsage("--line goes with TCP only");
  if (o.Framing != TFraming::Reads && o.Transport != TTransport::Udp)
    throw EUsage("--datagram and --hex go with -u only");
  if (o.LineEcho && o.EofGiven && o.Eof == TEofPolicy::HalfClose)
    throw EUsage("--eof=half cannot go with --echo: the echo needs sending");
}

}  // namespace

TOptions ParseOptions(const std::vector<std::string>& Args) {
  TOptions o;
  std::vector<std::string> positionals = ApplyOptions(Args, o);
  if (o.Help) return o;
  if (o.Lookup != TLookup::None) {
    if (!positionals.empty() || o.Mode != TMode::Connect)
      throw EUsage("--resolve and --reverse take no other arguments");
    // The component would look anything else up as 255.255.255.255.
    if (o.Lookup == TLookup::Reverse && !IsDottedAddress(o.LookupText))
      throw EUsage("--reverse takes an IPv4 address such as 192.168.1.10, not '" + o.LookupText +
                   "'");
    return o;
  }
  CheckCombinations(o);
  PlacePositionals(o, positionals);
  const char* proto = o.Transport == TTransport::Udp ? "udp" : "tcp";
  CheckPort(o.Port, proto);
  if (!o.LocalPort.empty()) CheckPort(o.LocalPort, proto);
  if (!o.ProxyPort.empty()) CheckPort(o.ProxyPort, "tcp");
  if (!o.EofGiven) o.Eof = DefaultEof(o);
  return o;
}

}  // namespace vxcat
