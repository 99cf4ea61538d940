#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# ChanLoad in a real notification area: Xvfb with the trayer tray host, driven
# by xdotool. Usage: tray_test.sh <chanload binary>
set -uo pipefail
chanload=$1
work=$(mktemp -d)
pids=()
cleanup() { kill "${pids[@]}" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
fail() { echo "FAIL: $*"; cat "$work/stderr" 2>/dev/null; exit 1; }
waitfor() { # waitfor <seconds> <command...>
  local t=$(( $1 * 10 )); shift
  while (( t-- > 0 )); do "$@" && return 0; sleep 0.1; done
  return 1
}

Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
waitfor 10 test -s "$work/display" || fail "Xvfb did not start"
export DISPLAY=":$(cat "$work/display")"
trayer --edge top --align right --widthtype request --height 32 --SetDockType true >/dev/null 2>&1 &
pids+=($!)
waitfor 10 xdotool search --class trayer >/dev/null || fail "trayer did not start"

# An engine address where nothing answers, and no tick during the test.
mkdir -p "$work/config"
mkdir -p "$work/config/chanload"
printf '[METER]\nIP_ADDRESS=127.0.0.1\nTCP_PORT=1\nSAMPLE=600000\n' >"$work/config/chanload/CHANLOAD.INI"
XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" QT_QPA_PLATFORM=xcb "$chanload" 2>"$work/stderr" &
app=$!
pids+=($app)

trayIcon() { xwininfo -root -tree | grep -A30 '"panel"' | grep '"ChanLoad"' | grep -o '0x[0-9a-f]*' | head -1; }
hasIcon() { test -n "$(trayIcon)"; }
noIcon() { test -z "$(trayIcon)"; }
waitfor 15 hasIcon || fail "no ChanLoad icon in the notification area"
icon=$(trayIcon)
# Sets <prefix>x, <prefix>y, <prefix>w, <prefix>h from a window's geometry.
geometry() {
  eval "$(xwininfo -id "$1" | awk -F: -v p="$2" '{gsub(/ /, "", $2)}
    /Absolute upper-left X/{print p "x=" $2} /Absolute upper-left Y/{print p "y=" $2}
    /Width/{print p "w=" $2} /Height/{print p "h=" $2}')"
}
geometry "$icon" i
px=$(( ix + iw / 2 )); py=$(( iy + ih / 2 ))
echo "ok - icon in the tray at ${ix},${iy} (${iw}x${ih})"

visible() { xdotool search --onlyvisible --class chanload 2>/dev/null | sort; }
before=$(visible)
xdotool mousemove "$px" "$py" click 1
sleep 1
[ "$(visible)" = "$before" ] || fail "a left click opened a window"
echo "ok - left click opens nothing"

xdotool mousemove "$px" "$py" mousedown 3
menu=""
findMenu() { menu=$(comm -13 <(echo "$before") <(visible) | head -1); [ -n "$menu" ]; }
waitfor 5 findMenu || fail "right-button press opened no menu"
xdotool mouseup 3
geometry "$menu" m
# At the pointer: Qt keeps the menu on screen, so at the right edge it opens leftwards.
(( px >= mx - 2 && px <= mx + mw + 2 )) || fail "menu at x=$mx..$((mx + mw)), pointer at x=$px"
(( (my >= py - 2 && my <= py + 2) || (my + mh >= py - 2 && my + mh <= py + 2) )) || fail "menu at y=$my, pointer at y=$py"
echo "ok - right-button press opens the menu at the pointer (${mx},${my} ${mw}x${mh})"
[ -n "${SCREENSHOT:-}" ] && import -window root "$SCREENSHOT"

# Properties, About, Exit: the last of three equal rows.
xdotool mousemove "$(( mx + mw / 2 ))" "$(( my + mh * 5 / 6 ))" click 1
waitfor 10 bash -c "! kill -0 $app 2>/dev/null" || fail "Exit did not end the program"
wait "$app"; status=$?
[ "$status" -eq 0 ] || fail "exit status $status after Exit: $(cat "$work/stderr")"
waitfor 5 noIcon || fail "the icon stayed in the tray"
echo "ok - Exit from the icon's menu removes the icon and ends with status 0"
echo "4 passed, 0 failed"
