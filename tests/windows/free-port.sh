# shellcheck shell=bash
# free_udp_port: prints a UDP port nobody on this machine has bound, for a
# program that is told a port (sourced by the scripts' tests). Under make test
# it comes from the counter the stage's tests share (VORLANX_TEST_PORTS, see
# tests/support/Loopback.h), below the kernel's ephemeral ports, so that no
# test running beside this one can take it; elsewhere a random one.
free_udp_port() {
  local p n tries
  if [ -n "${VORLANX_TEST_PORTS:-}" ]; then
    exec 9<>"$VORLANX_TEST_PORTS"
    flock 9
    n=$(cat "$VORLANX_TEST_PORTS")
    n=${n:-0}
    for ((tries = 0; tries < 20000; tries++)); do
      p=$((10000 + n % 20000))
      n=$((n + 1))
      udp_port_bound "$p" || break
    done
    echo "$n" >"$VORLANX_TEST_PORTS"
    exec 9>&-
    echo "$p"
    return
  fi
  while :; do
    p=$((20000 + RANDOM % 30000))
    udp_port_bound "$p" || { echo "$p"; return; }
  done
}

# Not a pipe into grep -q: under pipefail, ss's broken pipe would say "free".
udp_port_bound() { [ -n "$(ss -Hlun "sport = :$1")" ]; }
