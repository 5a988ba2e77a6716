#!/usr/bin/env bash
# Line mode benchmark: a TWSocket in line mode against a plain recv loop
# splitting on CR LF, for 64-, 512- and 4096-byte lines. $1: the build directory.
set -euo pipefail
build="${1:-build}"
cmake --build "$build" --target line_bench -j2 >/dev/null
exec "$build/bench/line/line_bench" "${LINE_BENCH_MIB:-64}" "${LINE_BENCH_RUNS:-5}"
