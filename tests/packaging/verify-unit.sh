#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs `systemd-analyze verify` on the shipped template units, as instance
# port1: the user unit for the user manager and for the system manager, the
# system unit for the system manager, and rates the system unit's sandbox
# with `systemd-analyze security --offline`: 2.0 or lower ("OK") passes.
#   verify-unit.sh <user chanload@.service> <chanload binary> [<system chanload@.service>]
# The unit names the program without a path (systemd looks in /usr/local/bin
# and /usr/bin), and verify insists that the program exists, so the copy that
# is verified has the built binary's path in place of that first word and is
# otherwise the shipped file byte for byte. verify exits 0 on mere parse
# warnings, so any output at all counts as a failure; a deliberately broken
# copy must fail the same check, or the check proves nothing.
set -euo pipefail

unit=${1:?usage: verify-unit.sh <unit file> <chanload binary> [<system unit file>]}
binary=${2:?usage: verify-unit.sh <unit file> <chanload binary> [<system unit file>]}
system_unit=${3:-}
[[ -x $binary ]] || { echo "FAIL: $binary is not an executable" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The user manager needs a runtime directory; keep it and everything else
# away from the real user's.
export XDG_RUNTIME_DIR=$work/run XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state HOME=$work
mkdir -m 700 "$work/run"

grep -q '^ExecStart=chanload ' "$unit" || { echo "FAIL: ExecStart= does not start chanload by name" >&2; exit 1; }

# verify <unit copy> [scopes]: prints what systemd-analyze said, fails on any word.
verify() {
  local copy=$1 scopes=${2:---user --system} scope out rc
  for scope in $scopes; do
    rc=0
    out=$(systemd-analyze "$scope" verify --man=no "$copy" 2>&1) || rc=$?
    if ((rc != 0)) || [[ -n $out ]]; then
      echo "systemd-analyze $scope verify $(basename "$copy") (status $rc): $out"
      return 1
    fi
  done
}

mkdir "$work/good" "$work/bad"
good=$work/good/chanload@port1.service
sed "s|^ExecStart=chanload |ExecStart=$binary |" "$unit" >"$good"

failures=0
if ! msg=$(verify "$good"); then
  echo "FAIL: the shipped unit does not verify: $msg" >&2
  failures=$((failures + 1))
fi

# Two kinds of damage verify reports differently: a misspelled key is a
# warning with status 0, a missing ExecStart= is an error.
sed 's/^Restart=/Restrat=/' "$good" >"$work/bad/chanload@port1.service"
if verify "$work/bad/chanload@port1.service" >/dev/null; then
  echo "FAIL: a misspelled key went through the check" >&2
  failures=$((failures + 1))
fi
sed '/^ExecStart=/d' "$good" >"$work/bad/chanload@port2.service"
if verify "$work/bad/chanload@port2.service" >/dev/null; then
  echo "FAIL: a unit without ExecStart= went through the check" >&2
  failures=$((failures + 1))
fi

# What the instance name must lead to, as the README and the manual say.
grep -q -- '--config %E/chanload/%i\.ini' "$unit" || { echo "FAIL: the instance does not read %E/chanload/%i.ini" >&2; failures=$((failures + 1)); }
grep -q -- '--log %S/chanload/%i\.csv' "$unit" || { echo "FAIL: the instance does not log to %S/chanload/%i.csv" >&2; failures=$((failures + 1)); }
grep -qx 'StateDirectory=chanload' "$unit" || { echo "FAIL: no StateDirectory=chanload for the log" >&2; failures=$((failures + 1)); }
grep -q -- '--headless' "$unit" || { echo "FAIL: the unit does not run headless" >&2; failures=$((failures + 1)); }

if [[ -n $system_unit ]]; then
  grep -q '^ExecStart=chanload ' "$system_unit" || { echo "FAIL: the system unit's ExecStart= does not start chanload by name" >&2; exit 1; }
  mkdir "$work/system" "$work/weak"
  sgood=$work/system/chanload@port1.service
  sed "s|^ExecStart=chanload |ExecStart=$binary |" "$system_unit" >"$sgood"
  if ! msg=$(verify "$sgood" --system); then
    echo "FAIL: the system unit does not verify: $msg" >&2
    failures=$((failures + 1))
  fi
  for line in 'DynamicUser=yes' 'StateDirectory=chanload' 'ConfigurationDirectory=chanload' 'ProtectSystem=strict' \
              'ProtectHome=yes' 'PrivateDevices=yes' 'RestrictAddressFamilies=AF_INET AF_INET6 AF_UNIX' \
              'SystemCallFilter=@system-service' 'NoNewPrivileges=yes' 'CapabilityBoundingSet='; do
    grep -qx -- "$line" "$system_unit" || { echo "FAIL: the system unit lacks $line" >&2; failures=$((failures + 1)); }
  done
  grep -q '^After=.*direwolf\.service' "$system_unit" || { echo "FAIL: the system unit does not start after direwolf.service" >&2; failures=$((failures + 1)); }
  grep -q -- '--config %E/chanload/%i\.ini --log %S/chanload/%i\.csv' "$system_unit" \
    || { echo "FAIL: the system instance does not read %E/chanload/%i.ini and log to %S/chanload/%i.csv" >&2; failures=$((failures + 1)); }

  # The rating: exposure 0.0 to 10.0, and --threshold counts in tenths.
  rate() {
    systemd-analyze security --offline=yes --threshold=20 "$1" 2>&1
  }
  if ! out=$(rate "$sgood"); then
    echo "FAIL: the system unit rates worse than 2.0:" >&2
    grep -E '✗|Overall' <<<"$out" >&2
    failures=$((failures + 1))
  else
    grep 'Overall exposure' <<<"$out"
  fi
  # Without its sandbox the same unit must fail, or the rating proves nothing.
  grep -v -E '^(Protect|Private|Restrict|SystemCall|Capability|MemoryDeny|LockPersonality|NoNewPrivileges|DynamicUser)' \
    "$sgood" >"$work/weak/chanload@port1.service"
  if rate "$work/weak/chanload@port1.service" >/dev/null; then
    echo "FAIL: a unit without its sandbox passed the rating" >&2
    failures=$((failures + 1))
  fi
fi

((failures == 0)) || exit 1
echo "service units OK"
