#!/usr/bin/env bash
# Host-name lookup benchmark: 10,000 lookups at once through the socket
# component, a thread per lookup, getaddrinfo_a and libuv, in a private mount
# namespace (root needed). $1: the build directory.
set -euo pipefail
build="${1:-build}"
cmake --build "$build" --target dns_bench -j2 >/dev/null
exec "$build/bench/dns/dns_bench" "${DNS_BENCH_LOOKUPS:-10000}" "${DNS_BENCH_REPEATS:-5}"
