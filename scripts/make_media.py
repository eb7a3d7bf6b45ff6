#!/usr/bin/env python3
"""Writes the program's media: the AC decrease course pictures (pics/) and the
click and error sounds (sounds/). Standard library only; run from anywhere:

    python3 scripts/make_media.py

The pictures show a decaying AC oscillation under its envelope, one picture
per decrease course, "on" in colour and "off" greyed for a disabled panel.
"""

import math
import os
import random
import struct
import wave

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
WIDTH, HEIGHT = 120, 80

# Palette indices.
BACK, AXIS, WAVE, ENVELOPE = 0, 1, 2, 3
PALETTES = {
    "on": [(255, 255, 255), (64, 64, 64), (200, 30, 30), (20, 60, 210)],
    "off": [(240, 240, 240), (170, 170, 170), (150, 150, 150), (190, 190, 190)],
}

# Envelope of the field from 1 (peak) to 0, over t in 0..1.
COURSES = {
    1: lambda t: 1 - t * t,  # Speeding: gentle at start, rapid at end
    2: lambda t: 1 - t,  # Linear
    3: lambda t: (1 - t) ** 2,  # Slowing: steep at start, gentle at end
}


def draw(course):
    """Pixel rows (palette indices) of one course picture."""
    px = [[BACK] * WIDTH for _ in range(HEIGHT)]
    left, right, mid, amp = 6, WIDTH - 4, HEIGHT // 2, HEIGHT // 2 - 6

    def put(x, y, c):
        if 0 <= x < WIDTH and 0 <= y < HEIGHT:
            px[y][x] = c

    for x in range(left, right + 1):
        put(x, mid, AXIS)
    for y in range(mid - amp - 2, mid + amp + 3):
        put(left, y, AXIS)

    env = COURSES[course]
    cycles = 11
    prev = None
    span = right - left
    for i in range(span * 8 + 1):
        t = i / (span * 8)
        x = left + round(t * span)
        y = mid - round(amp * env(t) * math.sin(2 * math.pi * cycles * t))
        if prev is not None:
            # Join the samples with a vertical run so steep parts stay solid.
            lo, hi = sorted((prev[1], y))
            for yy in range(lo, hi + 1):
                put(x, yy, WAVE)
        prev = (x, y)
    for x in range(left, right + 1):
        e = env((x - left) / span)
        for y in (mid - round(amp * e), mid + round(amp * e)):
            put(x, y, ENVELOPE)
    return px


def lzw(indices, min_size):
    """GIF LZW data (variable code width, codes packed LSB first)."""
    clear, eoi = 1 << min_size, (1 << min_size) + 1
    out = bytearray()
    acc = nbits = 0

    def emit(code, size):
        nonlocal acc, nbits
        acc |= code << nbits
        nbits += size
        while nbits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            nbits -= 8

    def reset():
        return {bytes([i]): i for i in range(clear)}, min_size + 1, eoi

    table, size, last = reset()
    emit(clear, size)
    word = b""
    for v in indices:
        grown = word + bytes([v])
        if grown in table:
            word = grown
            continue
        emit(table[word], size)
        last += 1
        table[grown] = last
        if last >= (1 << size) and size < 12:
            size += 1
        if last == 4095:
            emit(clear, size)
            table, size, last = reset()
        word = bytes([v])
    if word:
        emit(table[word], size)
    emit(eoi, size)
    if nbits:
        out.append(acc & 0xFF)
    return bytes(out)


def write_gif(path, px, palette):
    bits = 2  # four colours
    table = b"".join(bytes(c) for c in palette)
    table += b"\0" * (3 * (1 << bits) - len(table))
    data = lzw([c for row in px for c in row], bits)
    blocks = b"".join(bytes([len(data[i:i + 255])]) + data[i:i + 255]
                      for i in range(0, len(data), 255))
    with open(path, "wb") as f:
        f.write(b"GIF89a")
        f.write(struct.pack("<HHBBB", WIDTH, HEIGHT, 0x80 | (bits - 1), 0, 0))
        f.write(table)
        f.write(b"," + struct.pack("<HHHHB", 0, 0, WIDTH, HEIGHT, 0))
        f.write(bytes([bits]) + blocks + b"\0;")


def write_wav(path, samples, rate=22050):
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(b"".join(struct.pack("<h", max(-32767, min(32767, int(s * 32767))))
                               for s in samples))


def click(rate=22050):
    rnd = random.Random(5)
    n = int(0.03 * rate)
    return [0.7 * math.exp(-i / (0.004 * rate)) *
            (0.6 * math.sin(2 * math.pi * 2200 * i / rate) + 0.4 * (rnd.random() * 2 - 1))
            for i in range(n)]


def buzz(rate=22050):
    n = int(0.35 * rate)
    fade = int(0.02 * rate)
    out = []
    for i in range(n):
        t = i / rate
        # A square wave with its edges taken off: low and rough, not shrill.
        s = math.tanh(4 * math.sin(2 * math.pi * 140 * t)) * 0.5
        gain = min(1.0, i / fade, (n - i) / fade)
        out.append(s * gain)
    return out


def main():
    pics = os.path.join(ROOT, "pics")
    sounds = os.path.join(ROOT, "sounds")
    os.makedirs(pics, exist_ok=True)
    os.makedirs(sounds, exist_ok=True)
    for course in COURSES:
        px = draw(course)
        for state, palette in PALETTES.items():
            write_gif(os.path.join(pics, f"EShape{course}-{state}.gif"), px, palette)
    write_wav(os.path.join(sounds, "start.wav"), click())
    write_wav(os.path.join(sounds, "error.wav"), buzz())


if __name__ == "__main__":
    main()
