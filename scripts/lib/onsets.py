#!/usr/bin/python3
"""Prints every sound in a raw recording of the sink (mono, signed 16 bits) as "ONSET LENGTH",
one a line, in seconds.

    onsets.py RAW RATE START [CLOCK_CHANGES]

A sound begins with a 10 ms window louder than the threshold after at least a second of quiet
(the gap between the tracks of a folder is shorter, so a playlist counts once), and ends with its
last loud window. START is the real time of the first sample; ONSET is the real time the sound
began or, given CLOCK_CHANGES (lines of "real-second offset", one for every change of the
program's clock), the time the program's clock read then."""
import array
import sys

THRESHOLD = 300  # of 32767: about 1 %
QUIET_WINDOWS = 100


def sounds(samples, rate):
    """(first sample, last sample) of every sound."""
    window = rate // 100
    found, quiet = [], 10**9
    for i in range(0, len(samples) - window, window):
        part = samples[i:i + window]
        loud = max(max(part), -min(part)) > THRESHOLD
        if loud:
            if quiet >= QUIET_WINDOWS:
                found.append([i, i + window])
            found[-1][1] = i + window
        quiet = 0 if loud else quiet + 1
    return found


def clock(changes_file):
    changes = [tuple(map(float, line.split())) for line in open(changes_file) if line.strip()]

    def program_clock(real):
        offset = changes[0][1]
        for when, value in changes:
            if when <= real:
                offset = value
        return real + offset

    return program_clock


def main(args):
    raw, rate, start = args[0], int(args[1]), float(args[2])
    to_clock = clock(args[3]) if len(args) > 3 else (lambda real: real)
    samples = array.array("h")
    with open(raw, "rb") as f:
        data = f.read()
    samples.frombytes(data[:len(data) // 2 * 2])  # a recorder stopped mid-sample
    for first, last in sounds(samples, rate):
        print(f"{to_clock(start + first / rate):.3f} {(last - first) / rate:.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
