#!/usr/bin/env bash
# Socket component benchmark: datagram throughput against a plain recv loop,
# the receive path against libuv, asio and a plain loop (bursts of 200 and one
# datagram per wake-up), and the idle CPU of a listening socket. $1: the build
# directory.
set -euo pipefail
build="${1:-build}"
cmake --build "$build" --target net_bench -j2 >/dev/null
exec "$build/bench/net/net_bench" "${NET_BENCH_DATAGRAMS:-200000}" "${NET_BENCH_IDLE_SECONDS:-10}"
