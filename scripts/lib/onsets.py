#!/usr/bin/python3
"""Prints every sound in a raw recording of the sink (mono, signed 16 bits) as "ONSET LENGTH",
one a line, in seconds.

    onsets.py RAW RATE START [CLOCK_CHANGES]
    onsets.py RAW RATE START --quiet FROM TO

A sound begins with the first loud sample of a 10 ms window louder than the threshold after at
least a second of quiet (the gap between the tracks of a folder is shorter, so a playlist counts
once), and ends with its last loud window. START is the real time of the first sample; ONSET is the real time the sound
began or, given CLOCK_CHANGES (lines of "real-second offset", one for every change of the
program's clock), the time the program's clock read then.

With --quiet, it prints "LONGEST FIRST" for the stretch between the real times FROM and TO instead:
the longest run of quiet in it and how long after FROM the first loud window came (-1 for none),
in seconds; a sound that loops shows how long its gaps are."""
import array
import sys

THRESHOLD = 300  # of 32767: about 1 %
QUIET_WINDOWS = 100


def is_loud(part):
    return max(max(part), -min(part)) > THRESHOLD


def quiet_stretch(samples, rate, start, begin, end):
    """(longest quiet, first loud after begin) between the real times begin and end."""
    window = rate // 100
    first = max(0, int((begin - start) * rate))
    last = min(len(samples), int((end - start) * rate))
    longest, run, first_loud = 0, 0, -1.0
    for i in range(first, last - window, window):
        if is_loud(samples[i:i + window]):
            if first_loud < 0:
                first_loud = (i - first) / rate
            run = 0
        else:
            run += 1
            longest = max(longest, run)
    return longest * window / rate, first_loud


def sounds(samples, rate):
    """(first sample, last sample) of every sound."""
    window = rate // 100
    found, quiet = [], 10**9
    for i in range(0, len(samples) - window, window):
        part = samples[i:i + window]
        loud = is_loud(part)
        if loud:
            if quiet >= QUIET_WINDOWS:
                # From its first loud sample, not the window's start: onsets compared between
                # recordings are then exact to the sample.
                first_loud = next(j for j, x in enumerate(part) if abs(x) > THRESHOLD)
                found.append([i + first_loud, i + window])
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
    samples = array.array("h")
    with open(raw, "rb") as f:
        data = f.read()
    samples.frombytes(data[:len(data) // 2 * 2])  # a recorder stopped mid-sample
    if len(args) > 3 and args[3] == "--quiet":
        longest, first_loud = quiet_stretch(samples, rate, start, float(args[4]), float(args[5]))
        print(f"{longest:.2f} {first_loud:.2f}")
        return 0
    to_clock = clock(args[3]) if len(args) > 3 else (lambda real: real)
    for first, last in sounds(samples, rate):
        print(f"{to_clock(start + first / rate):.3f} {(last - first) / rate:.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
