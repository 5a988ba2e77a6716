#!/usr/bin/env bash
# Runs a Windows test program under Wine (scripts/wine-run) with the private
# resolver of the Linux test programs: a mount namespace of its own where
# /etc/hosts is HOSTS, resolv.conf names only 127.0.0.1 and nsswitch.conf
# consults the hosts file alone. Wine's Winsock resolves through the Linux
# resolver of the Wine process, so no lookup leaves the machine; without such
# a namespace nothing runs.
#
# With --proxies, SOCKS proxies run beside it in the same namespace (so they
# resolve the same names): microsocks without and with the user ann/secret, and
# danted; their ports are in VORLANX_TEST_MICROSOCKS_PORT,
# VORLANX_TEST_MICROSOCKS_AUTH_PORT and VORLANX_TEST_DANTED_PORT. They are
# stopped by their process ids when the program ends.
#   run-private.sh HOSTS [--proxies] PROGRAM ARGS...
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
wine_run=$here/../../../scripts/wine-run
hosts=$(realpath "${1:?usage: run-private.sh HOSTS [--proxies] PROGRAM ARGS...}")
shift

if [ -z "${VORLANX_TEST_PRIVATE_RESOLVER:-}" ]; then
  export VORLANX_TEST_PRIVATE_RESOLVER=1
  # Without root: as root of a user namespace of our own that maps our ids.
  if unshare --mount true 2>/dev/null; then
    exec unshare --mount --propagation private -- "$0" "$hosts" "$@"
  fi
  exec unshare --user --map-root-user --mount --propagation private -- "$0" "$hosts" "$@"
fi

proxies=0
if [ "${1:-}" = --proxies ]; then
  proxies=1
  shift
fi

dir=$(mktemp -d /tmp/vx-private-XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$dir"
}
trap cleanup EXIT

printf 'nameserver 127.0.0.1\noptions attempts:1 timeout:1\n' >"$dir/resolv.conf"
printf 'hosts: files\nnetworks: files\n' >"$dir/nsswitch.conf"
mount --bind "$hosts" /etc/hosts
mount --bind "$dir/resolv.conf" /etc/resolv.conf
mount --bind "$dir/nsswitch.conf" /etc/nsswitch.conf

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# Bounded: a proxy that does not listen within 10 s fails the run.
wait_listening() {
  for _ in $(seq 200); do
    ss -Hltn "sport = :$1" 2>/dev/null | grep -q . && return 0
    sleep 0.05
  done
  echo "run-private.sh: nothing listens on port $1 (see $dir)" >&2
  return 1
}

start_proxy() {
  local port=$1
  shift
  "$@" </dev/null >/dev/null 2>>"$dir/proxy.log" &
  pids+=($!)
  wait_listening "$port"
}

if [ $proxies = 1 ]; then
  VORLANX_TEST_MICROSOCKS_PORT=$(free_port)
  start_proxy "$VORLANX_TEST_MICROSOCKS_PORT" \
    /usr/bin/microsocks -i 127.0.0.1 -p "$VORLANX_TEST_MICROSOCKS_PORT"
  VORLANX_TEST_MICROSOCKS_AUTH_PORT=$(free_port)
  start_proxy "$VORLANX_TEST_MICROSOCKS_AUTH_PORT" \
    /usr/bin/microsocks -i 127.0.0.1 -p "$VORLANX_TEST_MICROSOCKS_AUTH_PORT" -u ann -P secret
  VORLANX_TEST_DANTED_PORT=$(free_port)
  cat >"$dir/danted.conf" <<CONF
logoutput: $dir/danted.log
internal: 127.0.0.1 port = $VORLANX_TEST_DANTED_PORT
external: 127.0.0.1
clientmethod: none
socksmethod: none
user.unprivileged: nobody
client pass { from: 127.0.0.0/8 to: 0.0.0.0/0 }
socks pass { from: 127.0.0.0/8 to: 127.0.0.0/8 command: connect }
CONF
  start_proxy "$VORLANX_TEST_DANTED_PORT" \
    /usr/sbin/danted -N 1 -f "$dir/danted.conf" -p "$dir/danted.pid"
  export VORLANX_TEST_MICROSOCKS_PORT VORLANX_TEST_MICROSOCKS_AUTH_PORT VORLANX_TEST_DANTED_PORT
fi

status=0
"$wine_run" "$@" || status=$?
exit $status
