#!/usr/bin/env python3
"""Feeds a 440 Hz tone, 16-bit stereo at a nominal 44100 Hz, into a FIFO at `speed` times
real time: a microphone whose clock runs fast (1.03) or slow (0.97) for bench/timing.sh.

Usage: paced-tone.py FIFO SPEED
"""
import math
import struct
import sys
import time

RATE = 44100
AHEAD_SECONDS = 0.05  # kept written ahead of the pace, so the source never runs dry


def main():
    path, speed = sys.argv[1], float(sys.argv[2])
    period = [int(8000 * math.sin(2 * math.pi * 440 * i / RATE)) for i in range(RATE // 440 * 440)]
    with open(path, "wb", buffering=0) as fifo:
        start = time.monotonic()
        sent = 0
        while True:
            due = int((time.monotonic() - start + AHEAD_SECONDS) * RATE * speed)
            frames = due - sent
            if frames > 0:
                samples = [period[(sent + i) % len(period)] for i in range(frames)]
                fifo.write(struct.pack("<%dh" % (2 * frames), *[v for s in samples for v in (s, s)]))
                sent = due
            time.sleep(0.01)


if __name__ == "__main__":
    try:
        main()
    except (BrokenPipeError, KeyboardInterrupt):
        pass
