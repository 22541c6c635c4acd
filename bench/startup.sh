#!/usr/bin/env bash
# The running program's costs: start-up until the window is on screen, resident memory after a
# minute, CPU time over an idle minute, and memory over a longer run (default ten minutes) in
# which a bell rings every minute from minute 3: a single file, a folder of short tracks, and a
# folder holding one track of 90 s, in turn.
#
#   bench/startup.sh [BUILD_DIR] [MINUTES]     (MINUTES 0: the start-ups alone)
#
# BUILD_DIR defaults to build (its app/ is the program folder). Brings its own virtual display,
# tray host and null sound sink when there are none. Start-up is measured on a copy of the program
# folder whose plan for any day holds one entry at 23:59:59, so nothing rings then and that
# entry's sound is decoded ahead, as before any bell.
set -euo pipefail
lib=$(dirname "${BASH_SOURCE[0]}")/../scripts/lib
source "$lib/program.sh"
source "$lib/procstat.sh"

minutes=${2:-10}
if [ $(( $(date +%s) - $(date -d 00:00 +%s) + (minutes + 5) * 60 )) -ge 86399 ]; then
    say "run this earlier in the day: the run must end before midnight"
    exit 1
fi
measured_copy "${1:-$HALVIX_ROOT/build}" bench "23:59:59 就寝.mp3"

ms_now() { date +%s%3N; }
# --- Start-up: from the exec to the window on screen, five times --------------------------------
times=()
for run in 1 2 3 4 5; do
    start=$(ms_now)
    start_measured
    until window_visible; do
        kill -0 "$program" 2>/dev/null || { say "the program ended during start-up"; exit 1; }
        [ $(($(ms_now) - start)) -gt 60000 ] && { say "no window after a minute"; exit 1; }
        sleep 0.01
    done
    times+=($(($(ms_now) - start)))
    end_program
done
sorted=$(printf '%s\n' "${times[@]}" | sort -n | tr '\n' ' ')
say "start-up to window shown (ms, five runs, sorted): $sorted"

[ "$minutes" -eq 0 ] && exit 0 # the start-ups alone

# --- One long run, a bell every minute from minute 3 ---------------------------------------------
mkdir -p "$work/app/voic/长曲目"
ffmpeg -v error -f lavfi -i "sine=frequency=330:duration=90" -ac 2 "$work/app/voic/长曲目/长.mp3"
sounds=(上课.mp3 voic/课间操 voic/长曲目)
entries=()
for ((m = 3; m <= minutes; ++m)); do
    entries+=("$(date -d "+$m minutes" +%H:%M):30 ${sounds[m % 3]}")
done
plan_every_day "$work/app" "${entries[@]}" "23:59:59 就寝.mp3"
start_measured
sleep 60
rss_1=$(rss_kb "$program")
cpu_1=$(cpu_ticks "$program")
say "resident memory after one minute: $((rss_1 / 1024)) MiB ($rss_1 kB)"
sleep 60
cpu_2=$(cpu_ticks "$program")
say "CPU over the second (idle) minute: $(cpu_seconds $((cpu_2 - cpu_1)) 60)"

samples="$rss_1 $(rss_kb "$program")"
for ((second = 120; second < minutes * 60; second += 60)); do
    sleep 60
    rss=$(rss_kb "$program")
    samples+=" $rss"
done
max=$(printf '%s\n' $samples | sort -n | tail -1)
cpu_end=$(cpu_ticks "$program")
say "resident memory each minute from minute 1 to $minutes (kB): $samples"
say "resident memory after $minutes minutes: $(rss_kb "$program") kB"
say "growth from minute 1 to minute $minutes: $(($(rss_kb "$program") - rss_1)) kB (largest $max kB)"
say "CPU over minutes 1 to $minutes: $(cpu_seconds $((cpu_end - cpu_1)) $(((minutes - 1) * 60)))"
end_program
