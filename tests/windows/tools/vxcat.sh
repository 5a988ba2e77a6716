#!/usr/bin/env bash
# vxcat.exe under Wine against Linux peers on loopback (socat): UDP both ways
# and cut into datagrams (--hex, --datagram),
# TCP connecting and listening with standard input from a pipe and a file,
# the end of standard input, a port out of range, and Ctrl+C (Wine turns
# SIGINT into the console's Ctrl+C event).
# usage: vxcat.sh CASE WINE_RUN VXCAT_EXE
CASE=$1
WINE_RUN=$2
VXCAT=$3
. "$(dirname "$0")/lib.sh"

# vxcat in the background: stdin from $1, output in $work/out and $work/err; sets $vx.
start_vxcat() {
  local input=$1
  shift
  "$WINE_RUN" "$VXCAT" "$@" <"$input" >"$work/out" 2>"$work/err" &
  vx=$!
  started+=("$vx")
}

# The port a listening vxcat -v reports.
listening_port() {
  wait_for "$work/err" "listening on 127.0.0.1:" || return 1
  text "$work/err" | sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' | head -1
}

pattern() { head -c "$1" /dev/urandom >"$2"; }

case $CASE in
udp_send)
  socat_listen "$work/socat.log" -u UDP-RECV:PORT,bind=127.0.0.1 "OPEN:$work/got,creat,trunc" ||
    { fail "no UDP port for the peer"; finish; }
  printf 'one datagram' >"$work/in"
  timeout 60 "$WINE_RUN" "$VXCAT" -u --eof=close 127.0.0.1 "$port" <"$work/in" >"$work/out" 2>"$work/err"
  expect_eq "status at the end of input" 0 $?
  wait_for "$work/got" "one datagram" 10 || fail "the datagram did not come: $(text "$work/err")"
  expect_eq "what came" "one datagram" "$(cat "$work/got")"
  ;;

udp_frames)
  # socat -x dumps each datagram it receives on its own line: the lines are the
  # datagrams. Lines of hex with CRLF, as a Windows editor writes them, and a
  # file of notes cut with --datagram; each sender ends by itself at the end of
  # its input.
  socat_listen "$work/socat.log" -u -x UDP-RECV:PORT,bind=127.0.0.1 OPEN:/dev/null ||
    { fail "no UDP port for the peer"; finish; }
  printf '90 3c 64\r\nzz\r\n80 3c 00\r\n' >"$work/hex"
  timeout 60 "$WINE_RUN" "$VXCAT" -u --hex 127.0.0.1 "$port" <"$work/hex" >"$work/out" 2>"$work/err"
  expect_eq "--hex: status with a line skipped" 1 $?
  expect_in "--hex: the line named" "line 2: not hexadecimal byte pairs: zz, skipped" "$(text "$work/err")"
  printf '\220\074\144\200\074\000\376' >"$work/notes"
  timeout 60 "$WINE_RUN" "$VXCAT" -u --datagram 3 127.0.0.1 "$port" <"$work/notes" >"$work/out" 2>"$work/err"
  expect_eq "--datagram: status" 0 $?
  datagrams() { grep '^ ' "$work/socat.log" | tr -s ' '; }
  deadline=$((SECONDS + 15))
  until [ "$(datagrams | wc -l)" -ge 5 ] || [ $SECONDS -ge $deadline ]; do sleep 0.05; done
  expect_eq "the datagrams" "$(printf ' 90 3c 64\n 80 3c 00\n 90 3c 64\n 80 3c 00\n fe')" "$(datagrams)"
  ;;

udp_receive)
  printf 'reply' >"$work/in"
  start_vxcat "$work/in" -v -u -l 127.0.0.1 0
  vxport=$(listening_port) || { fail "vxcat did not listen: $(text "$work/err")"; finish; }
  printf 'hello' | timeout 30 socat -T 3 - "UDP:127.0.0.1:$vxport" >"$work/peer" &
  started+=("$!")
  wait_for "$work/out" "hello" || fail "vxcat printed no datagram: $(text "$work/err")"
  # Its standard input goes to the first sender once a datagram has come.
  wait_for "$work/peer" "reply" || fail "no reply reached the peer"
  expect_eq "printed" "hello" "$(cat "$work/out")"
  kill -INT "$vx"
  wait_exit "$vx" 20
  expect_eq "Ctrl+C: status" 130 $?
  expect_in "Ctrl+C: said so" "vxcat: interrupted" "$(text "$work/err")"
  ;;

tcp_connect)
  pattern 300000 "$work/in"
  printf 'from peer\n' >"$work/peer-in"
  # The peer sends, then takes all until vxcat stops sending, then closes.
  socat_listen "$work/socat.log" TCP-LISTEN:PORT,bind=127.0.0.1 \
    "SYSTEM:cat $work/peer-in; cat > $work/got" || { fail "no TCP port for the peer"; finish; }
  # Standard input from a pipe, ended when cat is done.
  cat "$work/in" | timeout 60 "$WINE_RUN" "$VXCAT" -v 127.0.0.1 "$port" >"$work/out" 2>"$work/err"
  expect_eq "status" 0 $?
  expect_eq "printed what the peer sent" "from peer" "$(cat "$work/out")"
  expect_eq "the peer got all of stdin" "$(md5sum <"$work/in")" "$(md5sum <"$work/got")"
  expect_in "the end of input" "end of standard input" "$(text "$work/err")"
  ;;

tcp_listen)
  pattern 200000 "$work/in"
  pattern 100000 "$work/peer-in"
  start_vxcat "$work/in" -v -l 127.0.0.1 0
  vxport=$(listening_port) || { fail "vxcat did not listen: $(text "$work/err")"; finish; }
  timeout 60 socat "TCP:127.0.0.1:$vxport" "SYSTEM:cat $work/peer-in; cat > $work/got"
  expect_eq "the peer's status" 0 $?
  wait_exit "$vx" 20
  expect_eq "status" 0 $?
  expect_eq "vxcat printed all the peer sent" "$(md5sum <"$work/peer-in")" "$(md5sum <"$work/out")"
  expect_eq "the peer got all of stdin" "$(md5sum <"$work/in")" "$(md5sum <"$work/got")"
  ;;

tcp_interrupt)
  # An idle connection and standard input that never ends: Ctrl+C closes the
  # connection (the peer sees its end, not a reset) and ends vxcat.
  socat_listen "$work/socat.log" -u TCP-LISTEN:PORT,bind=127.0.0.1 "OPEN:$work/got,creat,trunc" ||
    { fail "no TCP port for the peer"; finish; }
  peer=$pid
  mkfifo "$work/fifo"
  sleep 60 >"$work/fifo" &
  started+=("$!")
  start_vxcat "$work/fifo" -v 127.0.0.1 "$port"
  wait_for "$work/err" "connected to 127.0.0.1:$port" || fail "no connection: $(text "$work/err")"
  kill -INT "$vx"
  wait_exit "$vx" 20
  expect_eq "Ctrl+C: status" 130 $?
  wait_exit "$peer" 10
  expect_eq "the peer saw a plain end" 0 $?
  ;;

peer_ends)
  # The peer's end ends vxcat even while its reader thread still waits for
  # standard input that never comes.
  socat_listen "$work/socat.log" TCP-LISTEN:PORT,bind=127.0.0.1 "SYSTEM:printf bye" ||
    { fail "no TCP port for the peer"; finish; }
  mkfifo "$work/fifo"
  sleep 60 >"$work/fifo" &
  started+=("$!")
  start_vxcat "$work/fifo" 127.0.0.1 "$port"
  wait_exit "$vx" 20
  expect_eq "status" 0 $?
  expect_eq "printed" "bye" "$(cat "$work/out")"
  ;;

bad_port)
  for args in "127.0.0.1 99999" "-u -l 65536" "-p 80x 127.0.0.1 80"; do
    # shellcheck disable=SC2086
    timeout 60 "$WINE_RUN" "$VXCAT" $args </dev/null >"$work/out" 2>"$work/err"
    expect_eq "$args: status" 2 $?
    expect_in "$args: said why" "is not a number from 0 to 65535" "$(text "$work/err")"
  done
  ;;

*)
  fail "no case $CASE"
  ;;
esac
finish
