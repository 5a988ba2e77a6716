# Shared by the package tests: sourced, not run.
# In pipelines the tests match with grep -c, which reads to the end: grep -q
# stops early, and under pipefail the writer's broken pipe would fail the match.

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# A command that ends the script (set -e) where it has no message of its own
# still says which one, and where.
trap 'echo "FAIL: line $LINENO: $BASH_COMMAND ended with status $?" >&2' ERR

# wait_until SECONDS COMMAND...: true as soon as COMMAND succeeds, false once
# SECONDS have gone by without.
wait_until() {
  local deadline=$(($(date +%s) + $1))
  shift
  until "$@"; do
    [ "$(date +%s)" -lt "$deadline" ] || return 1
    sleep 0.1
  done
}

# The Unix path of a folder Windows knows by an environment variable, such as
# LOCALAPPDATA, in the current prefix.
windows_folder() {
  local win unix
  win=$(wine cmd /c "echo %$1%" </dev/null | tr -d '\r')
  unix=$(winepath -u "$win" 2>&1 </dev/null) && [ -n "$win" ] ||
    fail "Wine did not place %$1% (it said \"$win\"; winepath: $unix)"
  echo "$unix"
}

# The names of the DLLs a Windows program imports, lower case, one a line.
imported_dlls() {
  x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u
}
