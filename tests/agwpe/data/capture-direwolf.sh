#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Regenerates the recorded Dire Wolf streams of this folder:
#   direwolf-ui.bin         three UI frames from gen_packets audio, one channel
#   direwolf-connected.bin  I, S and U frames from ax25wav.py audio, one channel
#   direwolf-stereo.bin     the same frames on the second of two channels
# Dire Wolf reads the audio from a pipe, transmits to nothing and serves its
# AGW port for the recording client only on loopback.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
port=28123

cat >"$work/mono.conf" <<CONF
ADEVICE stdin null
ARATE 44100
CHANNEL 0
MYCALL N0CALL
MODEM 1200
AGWPORT $port
KISSPORT 0
CONF
cat >"$work/stereo.conf" <<CONF
ADEVICE stdin null
ARATE 44100
ACHANNELS 2
CHANNEL 0
MYCALL N0CALL
MODEM 1200
CHANNEL 1
MYCALL N0CALL-1
MODEM 1200
AGWPORT $port
KISSPORT 0
CONF

# record <config> <wav> <output>
record() {
  rm -f "$work/fifo" "$work/ready"
  mkfifo "$work/fifo"
  direwolf -t 0 -q hd -c "$1" <"$work/fifo" >"$work/direwolf.log" 2>&1 &
  local engine=$!
  exec 3>"$work/fifo"
  python3 "$here/agwcap.py" "$port" "$3" "$work/ready" 8 &
  local client=$!
  while [ ! -e "$work/ready" ]; do sleep 0.1; done
  cat "$2" >&3
  head -c 400000 /dev/zero >&3 # silence, so the last frame is decoded
  wait "$client"
  exec 3>&-
  wait "$engine" || true
}

cat >"$work/ui.txt" <<'TXT'
N0CALL-1>APRS,WIDE1-1:>Test one two three
N0CALL-2>APRS:!4237.14NS07120.83W#hello
WB2OSZ-5>APDW16,WIDE1-1,WIDE2-1:!4237.14NS07120.83W#PHG7140Direwolf iGate and digipeater, 1200 baud, check www.example.org for details
TXT
gen_packets -r 44100 -o "$work/ui.wav" "$work/ui.txt" >/dev/null
python3 "$here/ax25wav.py" "$work/connected.wav"
python3 "$here/ax25wav.py" "$work/stereo.wav" stereo

record "$work/mono.conf" "$work/ui.wav" "$here/direwolf-ui.bin"
record "$work/mono.conf" "$work/connected.wav" "$here/direwolf-connected.bin"
record "$work/stereo.conf" "$work/stereo.wav" "$here/direwolf-stereo.bin"
