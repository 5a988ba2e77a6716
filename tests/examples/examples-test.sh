#!/usr/bin/env bash
# The examples on the socket component, built four ways and run against peers
# on loopback: in this tree, in a project that embeds this one with
# add_subdirectory, as a project of their own against the package cmake --install
# puts into a scratch prefix (find_package), and with the flags pkg-config gives.
# $1: the build folder, $2: the source folder, $3: "embedded" for the route
# through add_subdirectory alone (it builds the component anew: minutes), else
# the other three.
set -euo pipefail
build="$1"
src="$2"
route="${3:-}"
work="$(mktemp -d)"
# start() runs in a command substitution, a subshell: it notes each program's
# pid in a file, since an array it filled would be lost with the subshell.
cleanup() {
  if [ -f "$work/pids" ]; then
    while read -r p; do kill -9 "$p" 2>/dev/null || true; done <"$work/pids"
  fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# Starts an example on 127.0.0.1 and a free port; prints the port it reports.
start() {
  local program="$1" name
  name="$(basename "$program")-$RANDOM"
  "$program" 127.0.0.1 0 >"$work/$name.out" 2>"$work/$name.err" &
  echo $! >>"$work/pids"
  for _ in $(seq 100); do
    grep -q ' on 127\.0\.0\.1:[0-9]' "$work/$name.out" && break
    sleep 0.1
  done
  grep -o '127\.0\.0\.1:[0-9]*' "$work/$name.out" | cut -d: -f2 ||
    fail "$program did not start: $(cat "$work/$name.out" "$work/$name.err")"
}

# The echo server sends each datagram back to its sender, whole.
check_udp_echo() {
  local port reply
  port="$(start "$1")"
  exec {udp}<>"/dev/udp/127.0.0.1/$port"
  printf 'ping 1' >&$udp
  IFS= read -r -t 5 -N 6 -u $udp reply || true
  [ "$reply" = "ping 1" ] || fail "$1 answered \"$reply\""
  printf 'second datagram' >&$udp
  IFS= read -r -t 5 -N 15 -u $udp reply || true
  [ "$reply" = "second datagram" ] || fail "$1 answered \"$reply\""
  exec {udp}>&-
}

# Reads one line from descriptor $1 (5 s at most), without its CR LF.
line_from() {
  local line=""
  IFS= read -r -t 5 -u "$1" line || true
  printf '%s' "${line%$'\r'}"
}

# What one client types reaches the others, not itself; leaving is announced.
check_line_chat() {
  local port a b c got
  port="$(start "$1")"
  exec {a}<>"/dev/tcp/127.0.0.1/$port"
  got="$(line_from $a)"
  [[ "$got" == "* welcome, 127.0.0.1:"*"; 0 others here" ]] || fail "$1 greeted: \"$got\""
  exec {b}<>"/dev/tcp/127.0.0.1/$port"
  got="$(line_from $b)"
  [[ "$got" == *"; 1 others here" ]] || fail "$1 greeted the second: \"$got\""
  got="$(line_from $a)"
  [[ "$got" == "* 127.0.0.1:"*" joined" ]] || fail "$1 announced: \"$got\""
  # Lines in two pieces and with either line end.
  printf 'hello ' >&$a
  sleep 0.2
  printf 'everyone\r\nsecond line\n' >&$a
  got="$(line_from $b)"
  [[ "$got" == "127.0.0.1:"*": hello everyone" ]] || fail "$1 relayed: \"$got\""
  got="$(line_from $b)"
  [[ "$got" == *": second line" ]] || fail "$1 relayed: \"$got\""
  printf 'back\n' >&$b
  got="$(line_from $a)"
  [[ "$got" == *": back" ]] || fail "$1 relayed to the first: \"$got\""
  exec {b}>&-
  got="$(line_from $a)"
  [[ "$got" == "* 127.0.0.1:"*" left" ]] || fail "$1 announced: \"$got\""
  # The server goes on serving after a client left.
  exec {c}<>"/dev/tcp/127.0.0.1/$port"
  got="$(line_from $c)"
  [[ "$got" == *"; 1 others here" ]] || fail "$1 after a client left: \"$got\""
  exec {a}>&- {c}>&-
}

check_both() {
  check_udp_echo "$1/udp_echo"
  check_line_chat "$1/line_chat"
}

# Embedded: a project of someone else's that adds this one and the examples,
# without the relay (so without JACK or FLTK).
if [ "$route" = embedded ]; then
  mkdir -p "$work/parent"
  cat >"$work/parent/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.21)
project(parent LANGUAGES C CXX)
set(VORLANX_BUILD_APP OFF)
set(VORLANX_BUILD_MIDI OFF)
add_subdirectory("$src" vorlanx)
add_subdirectory("$src/examples" examples)
CMAKE
  cmake -S "$work/parent" -B "$work/parent/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    >"$work/configure.log" 2>&1 || fail "configuring the embedding project: $(cat "$work/configure.log")"
  cmake --build "$work/parent/build" -j2 --target udp_echo line_chat >"$work/build.log" 2>&1 ||
    fail "building the embedding project: $(cat "$work/build.log")"
  check_both "$work/parent/build/examples"
  echo "examples, embedded: ok"
  exit 0
fi

# In this tree.
check_both "$build/examples"

# Installed, then found as a package by a project of its own.
prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >"$work/install.log" || fail "cmake --install: $(cat "$work/install.log")"
[ -f "$prefix/include/vorlanx/net/WSocket.h" ] || fail "no header installed"
cmake -S "$src/examples" -B "$work/examples" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$work/configure.log" 2>&1 ||
  fail "configuring the examples: $(cat "$work/configure.log")"
cmake --build "$work/examples" -j2 >"$work/build.log" 2>&1 || fail "building the examples: $(cat "$work/build.log")"
check_both "$work/examples"

# With pkg-config alone.
pc="$(find "$prefix" -name vorlanx.pc)"
[ -n "$pc" ] || fail "no vorlanx.pc installed"
mkdir -p "$work/pc"
# shellcheck disable=SC2046
c++ -std=c++17 -o "$work/pc/udp_echo" "$src/examples/udp_echo.cpp" \
  $(PKG_CONFIG_PATH="$(dirname "$pc")" pkg-config --cflags --libs vorlanx) ||
  fail "udp_echo does not build with pkg-config's flags"
check_udp_echo "$work/pc/udp_echo"
echo "examples: ok"
