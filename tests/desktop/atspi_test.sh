#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The window read through the desktop's accessibility bus: a private D-Bus
# session (with the AT-SPI bus it starts) and an Xvfb display of its own.
# Usage: atspi_test.sh <chanload binary>
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
chanload=$1
work=$(mktemp -d)
pids=()
cleanup() { kill "${pids[@]}" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
waitfor() { # waitfor <seconds> <command...>
  local t=$(( $1 * 10 )); shift
  while (( t-- > 0 )); do "$@" && return 0; sleep 0.1; done
  return 1
}

Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
waitfor 10 test -s "$work/display" || { echo "FAIL: Xvfb did not start"; exit 1; }
export DISPLAY=":$(cat "$work/display")"

# Debian's interpreter: pyatspi lives in its dist-packages. The session's
# daemons (bus, AT-SPI bus launcher, registry) end with the session.
dbus-run-session -- /usr/bin/python3 "$here/atspi_test.py" "$chanload" 2> >(grep -v 'Failed to set fd limit' >&2) &
pids+=($!)
wait "${pids[-1]}"
