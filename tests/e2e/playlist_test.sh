#!/usr/bin/env bash
# A folder entry, heard at the loudspeaker: the real program plays a folder of two tracks (an 8 s
# tone at 440 Hz in .mp3, then a 3 s tone at 660 Hz in .wma). Checks from the recorded sink that
# the first track begins at the entry's second and sounds without a break to its end (it streams
# from the decoding tool well past the tool's lead), and that the second follows one second after
# the first one's length, at its own pitch.
#
# Needs what bell_rings_test.sh needs; brings its own services when run alone.
set -uo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
ensure_services

wednesday_entry 10:00:10 voic/曲目
mkdir -p "$app/voic/曲目"
ffmpeg -v error -f lavfi -i "sine=frequency=440:duration=8" -ac 2 "$app/voic/曲目/1一.mp3" &&
    ffmpeg -v error -f lavfi -i "sine=frequency=660:duration=3" -ac 2 "$app/voic/曲目/2二.wma" ||
    { fail "ffmpeg could not make the tracks"; exit 1; }

launch_recorded "2025-03-12 10:00:00" "$artifacts/playlist-output.txt"
sleep_until $((entry_real + 14))
stop_recording
recording_wav "$artifacts/playlist.wav"

# One line: the first track's start and end and its rough pitch, the longest quiet stretch inside
# it, the second track's start and pitch; times in seconds after the entry's real second.
read -r first_start first_end first_hz longest_gap second_start second_hz < <(
    python3 - "$recording" "$record_rate" "$record_start" "$entry_real" <<'PY'
import array, sys
raw, rate, start, entry = sys.argv[1], int(sys.argv[2]), float(sys.argv[3]), float(sys.argv[4])
samples = array.array("h", open(raw, "rb").read())
window = rate // 100
loud = [max(abs(v) for v in samples[i:i + window]) > 300 for i in range(0, len(samples) - window, window)]
at = lambda w: start + w / 100 - entry  # a window's time after the entry
first = next((w for w, l in enumerate(loud) if l), None)
if first is None:
    print("none none none none none none"); sys.exit()
# The first track ends where a quiet stretch of at least 0.3 s begins.
end, gap, longest = first, 0, 0
for w in range(first, len(loud)):
    if loud[w]:
        longest, gap, end = max(longest, gap), 0, w
    else:
        gap += 1
        if gap >= 30:
            break
second = next((w for w in range(end + 30, len(loud)) if loud[w]), None)
def hz(a, b):  # zero crossings of the middle of a stretch
    part = samples[(a + 30) * window:(b - 30) * window]
    return sum(1 for x, y in zip(part, part[1:]) if (x < 0) != (y < 0)) / 2 / (len(part) / rate) if part else 0
print(f"{at(first):.2f} {at(end + 1):.2f} {hz(first, end):.0f} {longest / 100:.2f}",
      f"{at(second):.2f} {hz(second, second + 200):.0f}" if second is not None else "none none")
PY
)

if [ "$first_start" != none ] && within "$first_start" -0.2 1.0; then
    pass "the first track began $first_start s after the entry's second"
else
    fail "the first track began at ${first_start} s after the entry's second"
fi
if [ "$first_start" != none ] && within "$(seconds_between "$first_start" "$first_end")" 7.7 8.3 &&
    within "$longest_gap" 0 0.02 && within "$first_hz" 420 460; then
    pass "it sounded to $first_end s at about $first_hz Hz, its longest break $longest_gap s"
else
    fail "the first track sounded from $first_start to $first_end s at about $first_hz Hz, longest break $longest_gap s"
fi
if [ "$second_start" != none ] && within "$second_start" 8.8 9.8 && within "$second_hz" 630 690; then
    pass "the second track began $second_start s after the entry's second, at about $second_hz Hz"
else
    fail "the second track began at $second_start s, at about $second_hz Hz (expected 9 s and 660 Hz)"
fi

kill -TERM "$program"
wait "$program" 2>/dev/null
program=""
finish playlist-output
