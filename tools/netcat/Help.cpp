// The text of vxcat --help: the option table, then what the options mean in use.
#include "tools/netcat/OptionTable.h"

namespace vxcat {

std::string HelpText() {
  std::string text =
      "usage: vxcat [options] HOST PORT        connect, then copy stdin to the peer and the peer "
      "to stdout\n"
      "       vxcat -l [options] [ADDR] PORT   listen on ADDR (default 0.0.0.0) and PORT (0: any "
      "free port)\n"
      "       vxcat --resolve NAME             every address of NAME, one a line\n"
      "       vxcat --reverse ADDRESS          the host name of ADDRESS\n"
      "A PORT is a number from 0 to 65535 or a service name (http).\n"
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
      "  half   once everything read before it has gone out, stop sending: the peer sees\n"
      "         end of data, and vxcat keeps printing what the peer sends until it closes.\n"
      "  close  once everything read has gone out, close the connection and end. With UDP, end.\n"
      "  keep   ignore it: keep the connection open both ways until the peer closes.\n"
      "  With UDP, half and keep both mean: keep receiving until interrupted.\n"
      "The default is half, except: a UDP client closes (it ends once its input has gone\n"
      "out; --eof=keep waits for answers), and a server keeps serving each client until\n"
      "the client closes with -k, with --echo, or when its input ended without a byte\n"
      "(</dev/null, as under nohup, & or a service manager).\n"
      "When the peer ends its sending, the connection ends (the socket component takes the\n"
      "peer's end as the end of the session); input read but not yet sent is then reported.\n"
      "\n"
      "UDP: each piece read from stdin goes out as datagrams of at most 1460 bytes. With\n"
      "--datagram N the input is cut into datagrams of N bytes, the last one shorter:\n"
      "`vxcat -u --datagram 3 127.0.0.1 55555 < notes.bin` sends a file of MIDI messages\n"
      "one message a datagram. With --hex each line of stdin is one datagram, written as\n"
      "hexadecimal byte pairs, blanks between them allowed and # beginning a comment:\n"
      "`echo '90 3c 64' | vxcat -u --hex 127.0.0.1 55555`. A line that is not byte pairs\n"
      "is reported with its number and skipped, the lines after it are sent, and the exit\n"
      "status is then 1.\n"
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
      "HOST itself, with SOCKS4 vxcat resolves it. A refusal by the proxy prints its reason; a\n"
      "proxy that cannot be reached is named, with the error underneath.\n"
      "\n"
      "Exit status: 0 when the connection ended normally, 1 when a connection was refused (also\n"
      "by a proxy) or reset, a name did not resolve, input was left unsent or skipped or\n"
      "another error happened (its text goes to standard error), 2 for a command line that\n"
      "cannot be understood (nothing is sent then), 130 when interrupted (Ctrl+C).\n";
  return text;
}

}  // namespace vxcat
