#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# scripts/run's launcher (scripts/lib/start-chanload) with a stand-in for
# ChanLoad against the simulated channel, ended each way a run ends: ChanLoad
# ends, Dire Wolf dies, the launcher is stopped with SIGTERM or SIGINT, the
# launcher is killed outright. Each time, neither a temporary file nor a
# process of the run may be left behind.
#   run-cleanup.sh <source root>
set -euo pipefail

root=${1:?usage: run-cleanup.sh <source root>}
launcher=$root/scripts/lib/start-chanload
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A free port in Dire Wolf's range.
port=
for _ in $(seq 20); do
  p=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  if ((p >= 1024 && p <= 49151)); then port=$p; break; fi
done
[[ -n $port ]] || { echo "FAIL: no free port in 1024-49151" >&2; exit 1; }

listening() {
  grep -qiE "^ *[0-9]+: [0-9A-F]+:$(printf '%04X' "$port") [0-9A-F]+:[0-9A-F]+ 0A " /proc/net/tcp /proc/net/tcp6 2>/dev/null
}

# Stands in for ChanLoad: notes its PID and, as ChanLoad does, ends with
# status 1 once the engine's port is gone.
cat >"$work/chanload" <<EOS
#!/bin/bash
echo \$\$ >"$work/app.pid"
while grep -qiE "^ *[0-9]+: [0-9A-F]+:$(printf '%04X' "$port") [0-9A-F]+:[0-9A-F]+ 0A " /proc/net/tcp /proc/net/tcp6; do
  sleep 0.2
done
exit 1
EOS
chmod +x "$work/chanload"
mkdir -p "$work/config/chanload"
printf '[METER]\nIP_ADDRESS=127.0.0.1\nTCP_PORT=%s\n' "$port" >"$work/config/chanload/CHANLOAD.INI"

# wait_for <seconds> <command...>: until the command succeeds.
wait_for() {
  local limit=$(($1 * 10)) i
  shift
  for ((i = 0; i < limit; i++)); do
    "$@" && return 0
    sleep 0.1
  done
  "$@"
}
gone() { ! kill -0 "$1" 2>/dev/null; }
empty() { [[ -z $(ls -A "$1") ]]; }
group_gone() { ! pgrep -g "$1" >/dev/null; }

# How each run is ended, by name.
end_run() {
  local how=$1 launcher_pid=$2 group=$3
  case $how in
    chanload-ends) kill -TERM "$(cat "$work/app.pid")" ;;
    direwolf-dies) kill -KILL "$(pgrep -g "$group" -x direwolf)" ;;
    launcher-term) kill -TERM "$launcher_pid" ;;
    launcher-int) kill -INT "$launcher_pid" ;;
    launcher-killed) kill -KILL "$launcher_pid" ;;
  esac
}

failures=0
for how in chanload-ends direwolf-dies launcher-term launcher-int launcher-killed; do
  tmp=$work/tmp-$how
  mkdir "$tmp"
  rm -f "$work/app.pid"
  # A job in the background of a script starts with SIGINT ignored, which a
  # shell cannot trap; the launcher gets the default actions back.
  TMPDIR=$tmp XDG_CONFIG_HOME=$work/config env --default-signal=INT,TERM \
    "$launcher" "$work/chanload" --headless >"$work/$how.out" 2>&1 &
  launcher_pid=$!
  if ! wait_for 30 test -s "$work/app.pid"; then
    echo "FAIL: $how: the stand-in never started" >&2
    cat "$work/$how.out" >&2
    failures=$((failures + 1))
    kill -KILL "$launcher_pid" 2>/dev/null || true
    continue
  fi
  group=$(sed -n 's/.*process group \([0-9]*\).*/\1/p' "$work/$how.out")
  end_run "$how" "$launcher_pid" "$group"
  wait "$launcher_pid" 2>/dev/null || true
  problems=()
  wait_for 15 empty "$tmp" || problems+=("left in TMPDIR: $(ls -A "$tmp" | tr '\n' ' ')")
  [[ -z $group ]] && problems+=("no simulated channel was started")
  [[ -n $group ]] && { wait_for 15 group_gone "$group" || problems+=("processes left: $(pgrep -a -g "$group" | tr '\n' ';')"); }
  wait_for 15 gone "$(cat "$work/app.pid")" || problems+=("the stand-in for ChanLoad is still running")
  wait_for 15 eval '! listening' || problems+=("port $port still open")
  if ((${#problems[@]})); then
    echo "FAIL: $how: ${problems[*]}" >&2
    sed 's/^/  /' "$work/$how.out" >&2
    failures=$((failures + 1))
  fi
done

((failures == 0)) || exit 1
echo "scripts/run cleans up after every kind of end"
