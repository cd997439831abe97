#!/usr/bin/env python3
"""Where a recording holds a tone: reads mono signed 16-bit samples at RATE from standard input
(ffmpeg's output) and prints, for windows of WINDOW_MS, how many there are, how many hold a
sound above the threshold, the longest run without one and where the first one starts.

    ffmpeg -i FILE -f s16le -ac 1 -ar 44100 - | tone-windows.py [--after SECONDS]

Output (one line): windows=N heard=M share=PERCENT first=SECONDS longest_gap=SECONDS
--after: count only the windows from that many seconds on.
"""
import argparse
import array
import math
import sys

RATE_HZ = 44100
WINDOW_MS = 50
# A module-sine tone recorded alone is about -9 dBFS RMS; silence is digital zero.
THRESHOLD_DBFS = -40.0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--after", type=float, default=0.0)
    args = parser.parse_args()
    samples = array.array("h")
    samples.frombytes(sys.stdin.buffer.read())
    window = RATE_HZ * WINDOW_MS // 1000
    threshold = 32768.0 * 10 ** (THRESHOLD_DBFS / 20)
    windows = heard = 0
    first = None
    gap = longest_gap = 0
    for start in range(0, len(samples) - window + 1, window):
        seconds = start / RATE_HZ
        chunk = samples[start:start + window]
        rms = math.sqrt(sum(s * s for s in chunk) / window)
        loud = rms > threshold
        if loud and first is None:
            first = seconds
        if seconds < args.after:
            continue
        windows += 1
        if loud:
            heard += 1
            gap = 0
        else:
            gap += 1
            longest_gap = max(longest_gap, gap)
    share = 100.0 * heard / windows if windows else 0.0
    first_text = "none" if first is None else f"{first:.2f}"
    print(f"windows={windows} heard={heard} share={share:.1f} first={first_text} "
          f"longest_gap={longest_gap * WINDOW_MS / 1000:.2f}")


if __name__ == "__main__":
    main()
