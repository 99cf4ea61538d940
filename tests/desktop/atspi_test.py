#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Every figure of the running window, read from the desktop's accessibility bus.

Runs the real program against a small AGW engine on loopback and reads the
window through AT-SPI the way a screen reader does. Started by atspi_test.sh,
inside a private D-Bus session and an X server of its own.
Usage: atspi_test.py <chanload binary>
"""
import ctypes
import os
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time

import pyatspi
from gi.repository import GLib

# One tick every 8 s: long enough that the window's figures stand still while
# the test reads them all, even on a busy machine.
SAMPLE_MS = 8000
BIT_RATE = 1200
INFO_LEN = 20
FIRST_BURST = 80   # frames before the first tick
SECOND_BURST = 7   # frames after it

DEADLINE = 30.0    # seconds for any one thing to happen


def expected_after_first_tick():
    """The window after the first tick and the second burst, as the program's
    arithmetic gives it for these frames (info length 20, 19 bytes overhead)."""
    seconds = SAMPLE_MS // 1000
    capacity = BIT_RATE * seconds // 10
    first_bytes = FIRST_BURST * (INFO_LEN + 19)
    usage = min(100, first_bytes * 100 // capacity)
    load = min(100, first_bytes * 1000 // (BIT_RATE * 10 * seconds))
    efficiency = INFO_LEN * 100 // (INFO_LEN + 19)
    load_class = 1 if load < 25 else 2 if load < 50 else 3 if load < 75 else 4
    return {
        "Monitoring port": "1",
        "Channel bit rate": str(BIT_RATE),
        "Frames": str(SECOND_BURST),
        "Bytes": str(SECOND_BURST * (INFO_LEN + 19)),
        "Data bytes": str(SECOND_BURST * INFO_LEN),
        "Traffic": "%d%%" % usage,
        "Load": "%d%%" % load,
        "Load class": "%d of 4" % load_class,
        "Efficiency": efficiency,
        "Usage": usage,
        "status": "Connected.......",
    }


class Failure(Exception):
    pass


def wait_until(what, condition):
    """Polls condition (events are dispatched meanwhile) until it holds."""
    end = time.monotonic() + DEADLINE
    while True:
        while GLib.MainContext.default().iteration(False):
            pass
        result = condition()
        if result:
            return result
        if time.monotonic() > end:
            raise Failure("timed out waiting for " + what)
        time.sleep(0.05)


def agw_frame(kind, data=b"", call_from=b"", call_to=b""):
    header = struct.pack("<B3xcxxx10s10sII", 0, kind, call_from, call_to, len(data), 0)
    return header + data


def monitored_ui_frame():
    text = b" 1:Fm N0CALL-1 To APRS <UI pid=F0 Len=%d PF=0 >[19:29:58]\r" % INFO_LEN
    return agw_frame(b"U", text + b"x" * INFO_LEN + b"\r\0", b"N0CALL-1", b"APRS")


class FakeEngine:
    """Accepts one client on loopback, answers the port list and sends
    monitored frames when asked to."""

    def __init__(self):
        self.server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.server.bind(("127.0.0.1", 0))
        self.server.listen(1)
        self.port = self.server.getsockname()[1]
        self.client = None
        self.monitoring = threading.Event()
        threading.Thread(target=self._serve, daemon=True).start()

    def _serve(self):
        try:
            self.client, _ = self.server.accept()
            buffer = b""
            while True:
                chunk = self.client.recv(4096)
                if not chunk:
                    return
                buffer += chunk
                while len(buffer) >= 36:
                    (length,) = struct.unpack_from("<I", buffer, 28)
                    if len(buffer) < 36 + length:
                        break
                    kind = buffer[4:5]
                    buffer = buffer[36 + length:]
                    if kind == b"G":
                        self.client.sendall(agw_frame(b"G", b"1;Port1 fake radio on loopback;\0"))
                    elif kind == b"m":
                        self.monitoring.set()
        except OSError:
            return

    def send_frames(self, count):
        # One write: the whole burst lands in one period.
        self.client.sendall(monitored_ui_frame() * count)

    def close(self):
        for s in (self.client, self.server):
            if s:
                s.close()


def die_with_parent():
    # The program must not outlive this script, even if the script is killed.
    ctypes.CDLL(None).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG


class Window:
    """The running window's figures as the accessibility bus shows them."""

    LABELS = ("Monitoring port", "Channel bit rate", "Frames", "Bytes", "Data bytes",
              "Traffic", "Load", "Load class")
    BARS = ("Efficiency", "Usage")

    def __init__(self, pid):
        self.pid = pid
        self.labels, self.bars, self.status = {}, {}, None

    def find(self):
        app = None
        for candidate in pyatspi.Registry.getDesktop(0):
            if candidate is not None and candidate.get_process_id() == self.pid:
                app = candidate
        if app is None:
            return False
        self.labels, self.bars, self.status = {}, {}, None
        self._collect(app)
        return (set(self.labels) == set(self.LABELS) and set(self.bars) == set(self.BARS)
                and self.status is not None)

    def _collect(self, node):
        role = node.getRole()
        # A figure is a label that carries text; the headings beside it only have names.
        if role == pyatspi.ROLE_LABEL and "Text" in node.get_interfaces():
            self.labels[node.name] = node
        elif role == pyatspi.ROLE_PROGRESS_BAR:
            self.bars[node.name] = node
        elif role == pyatspi.ROLE_STATUS_BAR:
            self.status = node
        for child in node:
            self._collect(child)

    def read(self):
        figures = {name: node.queryText().getText(0, -1) for name, node in self.labels.items()}
        for name, node in self.bars.items():
            figures[name] = int(node.queryValue().currentValue)
        figures["status"] = self.status.name
        return figures


def main():
    chanload = sys.argv[1]
    work = tempfile.mkdtemp(prefix="chanload-atspi-")
    config = os.path.join(work, "config")
    runtime = os.path.join(work, "runtime")
    os.makedirs(config)
    os.makedirs(runtime, mode=0o700)

    engine = FakeEngine()
    with open(os.path.join(config, "CHANLOAD.INI"), "w") as ini:
        ini.write("[METER]\nIP_ADDRESS=127.0.0.1\nTCP_PORT=%d\nAGW_PORT=1\nSAMPLE=%d\nBW=%d\n"
                  "CALLSIGN=N0CALL-2\n" % (engine.port, SAMPLE_MS, BIT_RATE))

    # Qt's bridge sends events only for kinds somebody listens to: listen first.
    announced = []
    pyatspi.Registry.registerEventListener(
        lambda e: announced.append((e.source.name, e.any_data)), "object:text-changed:insert")

    env = dict(os.environ, XDG_CONFIG_HOME=config, XDG_DATA_HOME=config, XDG_RUNTIME_DIR=runtime, QT_QPA_PLATFORM="xcb",
               QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1")
    stderr = open(os.path.join(work, "stderr"), "w+")
    app = subprocess.Popen([chanload], env=env, stdout=subprocess.DEVNULL, stderr=stderr,
                           preexec_fn=die_with_parent)
    passed = 0
    try:
        window = Window(app.pid)
        wait_until("the window on the accessibility bus", window.find)
        print("ok - every figure of the window is on the bus")
        passed += 1

        wait_until("the engine to be asked for monitored frames", engine.monitoring.is_set)
        engine.send_frames(FIRST_BURST)
        # Counted live, before any tick: the status line still reads as at connection.
        live = wait_until("the first burst counted",
                          lambda: (lambda f: f if f["Frames"] == str(FIRST_BURST) else None)(window.read()))
        if live["status"] != "Connected..." or live["Bytes"] != str(FIRST_BURST * (INFO_LEN + 19)):
            raise Failure("before the first tick the bus shows %r" % live)
        print("ok - frames are counted live on the bus")
        passed += 1

        wait_until("the first tick", lambda: window.read()["Frames"] == "0")
        engine.send_frames(SECOND_BURST)
        wait_until("the second burst counted", lambda: window.read()["Frames"] == str(SECOND_BURST))
        # Two readings in a row that agree belong to one period.
        first, second = window.read(), window.read()
        expected = expected_after_first_tick()
        if first != second:
            raise Failure("the figures moved while being read: %r then %r" % (first, second))
        wrong = {k: (first.get(k), v) for k, v in expected.items() if first.get(k) != v}
        if wrong:
            raise Failure("read from the bus / expected: %r" % wrong)
        print("ok - after a tick with traffic every figure on the bus is the window's: %r" % first)
        passed += 1

        # Each label that changed told so, with its new text.
        changed = ("Frames", "Bytes", "Data bytes", "Traffic", "Load", "Load class")
        wanted = {(name, expected[name]) for name in changed}
        wait_until("announcements of %r" % sorted(wanted), lambda: wanted <= set(announced))
        print("ok - every new figure is announced as a text change")
        passed += 1
    except Failure as failure:
        stderr.seek(0)
        print("FAIL: %s\nprogram's stderr:\n%s" % (failure, stderr.read()))
        return 1
    finally:
        app.terminate()
        try:
            app.wait(timeout=10)
        except subprocess.TimeoutExpired:
            app.kill()
            app.wait()
        engine.close()
        print("%d passed" % passed)
    return 0


if __name__ == "__main__":
    sys.exit(main())
