#!/usr/bin/env python3
"""Writes resources/alarm.wav: two short beeps, high then higher, small
enough to ship (16-bit mono at 11025 Hz, under 10 kB). Run it again only to
change the sound."""
import math
import struct
import sys
import wave

RATE = 11025
TONES = [(1568.0, 0.14), (0.0, 0.05), (2093.0, 0.18)]  # G6, a gap, C7


def samples():
    for freq, seconds in TONES:
        n = int(RATE * seconds)
        for i in range(n):
            # A short fade at both ends keeps the speaker from clicking.
            envelope = min(1.0, i / 200.0, (n - i) / 200.0)
            yield int(0.6 * 32767 * envelope * math.sin(2 * math.pi * freq * i / RATE))


out = sys.argv[1] if len(sys.argv) > 1 else "resources/alarm.wav"
with wave.open(out, "wb") as w:
    w.setnchannels(1)
    w.setsampwidth(2)
    w.setframerate(RATE)
    w.writeframes(b"".join(struct.pack("<h", s) for s in samples()))
