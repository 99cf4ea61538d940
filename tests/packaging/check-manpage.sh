#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Renders the compressed manual page as man(1) would and fails on any
# warning from groff, then checks that the sections a reader looks for are
# there and that every settings key of the program is described.
#   check-manpage.sh <chanload.1.gz>
set -euo pipefail

page=${1:?usage: check-manpage.sh <chanload.1.gz>}
[[ -f $page ]] || { echo "FAIL: no manual page at $page" >&2; exit 1; }
gzip -t "$page" || { echo "FAIL: $page is not gzip data" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" >"$work/text" 2>"$work/warnings" || {
  cat "$work/warnings" >&2
  echo "FAIL: man could not render $page" >&2
  exit 1
}

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
if [[ -s $work/warnings ]]; then
  sed 's/^/  /' "$work/warnings" >&2
  fail "groff warnings"
fi
for section in NAME SYNOPSIS DESCRIPTION OPTIONS FILES SETTINGS "EXIT STATUS" EXAMPLES "SEE ALSO"; do
  grep -qx "$section" "$work/text" || fail "no section $section"
done
# The NAME line is what apropos and lintian read.
grep -qE '^ +chanload - ' "$work/text" || fail "NAME is not 'chanload - ...'"
for option in --headless --config --log --metrics --help --version; do
  grep -qE -- "^ +$option\b" "$work/text" || fail "option $option is not described"
done
for key in IP_ADDRESS TCP_PORT AGW_PORT SAMPLE BW CALLSIGN TXDELAY TXTAIL RECONNECT METRICS; do
  grep -qE "^ +$key \(" "$work/text" || fail "settings key $key is not described with its default"
done
for status in 0 1 2; do
  grep -qE "^ +$status +[A-Z]" "$work/text" || fail "exit status $status is not described"
done
grep -q 'systemctl --user enable --now chanload@' "$work/text" || fail "no example for the service unit"
grep -q 'direwolf(1)' "$work/text" || fail "SEE ALSO lacks direwolf(1)"

((failures == 0)) || exit 1
echo "manual page OK"
