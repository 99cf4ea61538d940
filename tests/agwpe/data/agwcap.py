#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Record what an AGW engine on loopback sends after 'X', 'G', 'g' and 'm'.

usage: agwcap.py PORT OUTFILE READYFILE SECONDS
READYFILE is created once the requests have been taken in, so that the
caller starts the audio only after monitoring is on.
"""
import socket
import struct
import sys
import time

port, out, ready, seconds = int(sys.argv[1]), sys.argv[2], sys.argv[3], float(sys.argv[4])


def request(kind, call_from=b""):
    # port, 3 zero bytes, kind, 0, pid 0, 0, call from, call to, length, reserved
    return struct.pack("<B3xcxBx10s10sII", 0, kind, 0, call_from, b"", 0, 0)


for _ in range(100):
    try:
        s = socket.create_connection(("127.0.0.1", port))
        break
    except OSError:
        time.sleep(0.1)
else:
    sys.exit("no engine on port %d" % port)

for kind, call in ((b"X", b"N0CALL"), (b"G", b""), (b"g", b""), (b"m", b"")):
    s.sendall(request(kind, call))
# Dire Wolf looks at a new client's commands only once a second.
time.sleep(2.5)
open(ready, "w").close()

s.settimeout(0.5)
data = b""
end = time.time() + seconds
while time.time() < end:
    try:
        chunk = s.recv(65536)
    except socket.timeout:
        continue
    if not chunk:
        break
    data += chunk
open(out, "wb").write(data)
print("%s: %d bytes" % (out, len(data)))
