#!/usr/bin/env python3
"""Writes data/Start.wav: a half-second start tone (1 kHz, soft edges), 22.05 kHz 16-bit mono."""
import math
import struct
import sys
import wave

RATE = 22050
SECONDS = 0.5
FREQ = 1000.0
FADE = 0.01  # seconds of fade in and out, so the tone does not click

def main(path):
    frames = bytearray()
    total = int(RATE * SECONDS)
    for i in range(total):
        t = i / RATE
        envelope = min(1.0, t / FADE, (SECONDS - t) / FADE)
        sample = int(0.6 * 32767 * envelope * math.sin(2 * math.pi * FREQ * t))
        frames += struct.pack('<h', sample)
    with wave.open(path, 'wb') as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(bytes(frames))

if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'data/Start.wav')
