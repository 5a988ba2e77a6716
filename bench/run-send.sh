#!/usr/bin/env bash
# Sending benchmark: bulk TCP throughput of TWSocket::Send against a plain blocking
# send loop, and the sender's CPU per MiB. $1: the build directory.
set -euo pipefail
build="${1:-build}"
cmake --build "$build" --target send_bench -j2 >/dev/null
exec "$build/bench/send/send_bench" "${SEND_BENCH_MIB:-512}" "${SEND_BENCH_CHUNK:-65536}" "${SEND_BENCH_RUNS:-5}"
