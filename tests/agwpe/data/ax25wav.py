#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Bell 202 AFSK audio of arbitrary AX.25 frames (I, S, U kinds), for feeding Dire Wolf."""
import math, struct, sys, wave

RATE = 44100

def addr(call, last, cmd_bit):
    name, _, ssid = call.partition("-")
    b = bytes((ord(c) << 1) for c in name.ljust(6))
    s = 0x60 | (int(ssid or 0) << 1) | (0x80 if cmd_bit else 0) | (1 if last else 0)
    return b + bytes([s])

def frame(src, dst, control, pid=None, info=b"", digis=(), command=True):
    out = addr(dst, False, command) + addr(src, not digis, not command)
    for i, d in enumerate(digis):
        out += addr(d, i == len(digis) - 1, False)
    out += bytes([control])
    if pid is not None:
        out += bytes([pid])
    return out + info

def fcs(data):
    crc = 0xFFFF
    for b in data:
        crc ^= b
        for _ in range(8):
            crc = (crc >> 1) ^ 0x8408 if crc & 1 else crc >> 1
    crc ^= 0xFFFF
    return bytes([crc & 0xFF, crc >> 8])

def bits_of(frames):
    bits = []
    flag = [0, 1, 1, 1, 1, 1, 1, 0]
    for f in frames:
        bits += flag * 40
        ones = 0
        for b in f + fcs(f):
            for i in range(8):
                bit = (b >> i) & 1
                bits.append(bit)
                ones = ones + 1 if bit else 0
                if ones == 5:
                    bits.append(0)
                    ones = 0
        bits += flag * 4
        bits += [0] * 1200  # gap between transmissions
    return bits

def samples(bits):
    level, phase, t = 1, 0.0, 0.0
    out = []
    per_bit = RATE / 1200.0
    acc = 0.0
    for bit in bits:
        if bit == 0:
            level ^= 1
        freq = 1200.0 if level else 2200.0
        acc += per_bit
        n = int(acc)
        acc -= n
        for _ in range(n):
            phase += 2 * math.pi * freq / RATE
            out.append(int(12000 * math.sin(phase)))
    return out

def write(path, frames, channels=1, channel=0):
    s = samples(bits_of(frames))
    with wave.open(path, "wb") as w:
        w.setnchannels(channels); w.setsampwidth(2); w.setframerate(RATE)
        if channels == 1:
            w.writeframes(struct.pack("<%dh" % len(s), *s))
        else:
            inter = []
            for v in s:
                pair = [0, 0]; pair[channel] = v; inter += pair
            w.writeframes(struct.pack("<%dh" % len(inter), *inter))

def I(ns, nr, p=0): return (nr << 5) | (p << 4) | (ns << 1)
def S(kind, nr, pf=0): return (nr << 5) | (pf << 4) | kind

if __name__ == "__main__":
    A, B = "K1ABC-1", "W2XYZ-7"
    text = b"The quick brown fox jumps over the lazy dog. "
    frames = [
        frame(A, B, 0x2F | 0x10),                                  # SABM P
        frame(B, A, 0x63 | 0x10, command=False),                   # UA F
        frame(A, B, I(3, 1), 0xF0, b"hello"),                      # I S3 R1
        frame(A, B, I(4, 1, 1), 0xF0, text * 2),                   # I with poll
        frame(B, A, S(0x01, 5, 1), command=False),                 # RR
        frame(B, A, S(0x05, 5, 1), command=False),                 # RNR
        frame(B, A, S(0x09, 5, 1), command=False),                 # REJ
        frame(A, B, I(5, 2), 0xF0, b"bin\x00ary\x00data\r\nmore"),  # info with NULs and CR
        frame(A, B, I(6, 2), 0xCF, (text * 6)[:256]),              # NET/ROM pid, 256 bytes
        frame(A, B, 0x43 | 0x10),                                  # DISC P
        frame(B, A, 0x0F | 0x10, command=False),                   # DM F
        frame(A, B, 0xAF | 0x10, None, b"\x82\x80\x00"),           # XID
        frame(A, B, 0xE3 | 0x10, None, b"abc"),                    # TEST
        frame(B, A, 0x87 | 0x10, None, b"\x00\x00\x00", command=False),  # FRMR
        frame("N0CALL-3", "APRS", 0x03, 0xF0, b"=4237.14N/07120.83W-" + text * 5, digis=("WIDE1-1", "WIDE2-2")),
    ]
    if len(sys.argv) > 2 and sys.argv[2] == "stereo":
        write(sys.argv[1], frames, channels=2, channel=1)
    else:
        write(sys.argv[1], frames)
