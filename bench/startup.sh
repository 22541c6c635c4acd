#!/usr/bin/env bash
# The running program's costs: start-up until the window is on screen, memory after a minute, CPU
# time over an idle minute, and memory over a longer run (default ten minutes) in which a bell
# rings every minute from minute 3: a single file, a folder of short tracks, and a folder holding
# one track of 90 s, in turn. Memory is PSS beside RSS (procstat.sh says what each counts); goals
# are counted in PSS, growth in RSS, which other processes coming and going do not move.
#
#   bench/startup.sh [BUILD_DIR] [MINUTES]     (MINUTES 0: the start-ups alone)
#
# STARTUP_RUNS (5): start-ups of each, in turn.
#
# BUILD_DIR defaults to build (its app/ is the program folder). Brings its own virtual display,
# tray host and null sound sink when there are none. Start-up is measured on a copy of the program
# folder whose plan for any day holds one entry at 23:59:59, so nothing rings then and that
# entry's sound is decoded ahead, as before any bell.
#
# The reference, measured in the same run: the bare window (bench/reference/BareWindow.cpp, Qt
# Widgets with the program's face and tray icon), started in turn with the program, and running
# beside it through the long run. Prints a figure line for each of start-up and memory with it.
set -euo pipefail
lib=$(dirname "${BASH_SOURCE[0]}")/../scripts/lib
source "$lib/program.sh"
source "$lib/procstat.sh"
source "$lib/figures.sh"

minutes=${2:-10}
runs=${STARTUP_RUNS:-5}
if [ $(( $(date +%s) - $(date -d 00:00 +%s) + (minutes + 5) * 60 )) -ge 86399 ]; then
    say "run this earlier in the day: the run must end before midnight"
    exit 1
fi
measured_copy "${1:-$HALVIX_ROOT/build}" bench "23:59:59 就寝.mp3"

reference=$build/bench/bench_reference_window
[ -x "$reference" ] || { say "no reference window in $build/bench"; exit 1; }
reference_visible() { xdotool search --onlyvisible --name "^Reference  " >/dev/null 2>&1; }

ms_now() { date +%s%3N; }
# milliseconds_to_window VISIBLE COMMAND...: starts COMMAND, waits until VISIBLE says its window is
# on screen, prints the milliseconds from the exec and ends it. Run in $(...): fails the caller.
milliseconds_to_window() {
    local visible=$1 start pid
    shift
    start=$(ms_now)
    "$@" >/dev/null 2>&1 &
    pid=$!
    until "$visible"; do
        kill -0 "$pid" 2>/dev/null || { say "$1 ended during start-up" >&2; exit 1; }
        [ $(($(ms_now) - start)) -gt 60000 ] && { say "$1: no window after a minute" >&2; exit 1; }
        sleep 0.01
    done
    echo $(($(ms_now) - start))
    kill -TERM "$pid"
    wait "$pid" || true
}
# --- Start-up: from the exec to the window on screen, $runs times each, in turn -----------------
times=()
reference_times=()
for ((run = 1; run <= runs; ++run)); do
    t=$(milliseconds_to_window window_visible "$work/app/halvix")
    times+=("$t")
    t=$(milliseconds_to_window reference_visible "$reference")
    reference_times+=("$t")
done
sorted() { printf '%s\n' "$@" | sort -n | tr '\n' ' '; }
say "start-up to window shown (ms, $runs runs, sorted): $(sorted "${times[@]}")"
say "the bare window's start-up (ms, $runs runs, sorted): $(sorted "${reference_times[@]}")"
startup=$(median "${times[@]}")
reference_startup=$(median "${reference_times[@]}")
figure_row "start-up to the window shown (median of $runs)" "$startup ms" \
    "$reference_startup ms ($(ratio "$startup" "$reference_startup"))" "≤ 1.3× the reference"

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
"$reference" >/dev/null 2>&1 &
reference_pid=$!
trap '[ -z "$reference_pid" ] || kill "$reference_pid" 2>/dev/null; [ -n "$program" ] && kill "$program" 2>/dev/null; stop_services; rm -rf "$work"' EXIT
sleep 60
read -r rss_1 pss_1 _ <<<"$(memory_kb "$program")"
cpu_1=$(cpu_ticks "$program")
say "memory after one minute: PSS $((pss_1 / 1024)) MiB ($pss_1 kB), RSS $((rss_1 / 1024)) MiB ($rss_1 kB)"
sleep 60
cpu_2=$(cpu_ticks "$program")
say "CPU over the second (idle) minute: $(cpu_seconds $((cpu_2 - cpu_1)) 60)"

read -r rss pss _ <<<"$(memory_kb "$program")"
rss_samples=("$rss_1" "$rss")
pss_samples=("$pss_1" "$pss")
for ((second = 120; second < minutes * 60; second += 60)); do
    sleep 60
    read -r rss pss _ <<<"$(memory_kb "$program")"
    rss_samples+=("$rss")
    pss_samples+=("$pss")
done
largest() { printf '%s\n' "$@" | sort -n | tail -1; }
cpu_end=$(cpu_ticks "$program")
read -r rss_end pss_end uss_end <<<"$(memory_kb "$program")"
read -r reference_rss reference_pss _ <<<"$(memory_kb "$reference_pid")"
say "PSS each minute from minute 1 to $minutes (kB): ${pss_samples[*]}"
say "RSS each minute from minute 1 to $minutes (kB): ${rss_samples[*]}"
say "memory after $minutes minutes: PSS $pss_end kB, RSS $rss_end kB, USS $uss_end kB"
say "the bare window's memory after $minutes minutes: PSS $reference_pss kB, RSS $reference_rss kB"
say "growth from minute 1 to minute $minutes: RSS $((rss_end - rss_1)) kB (largest $(largest "${rss_samples[@]}") kB)," \
    "PSS $((pss_end - pss_1)) kB (largest $(largest "${pss_samples[@]}") kB)"
say "CPU over minutes 1 to $minutes: $(cpu_seconds $((cpu_end - cpu_1)) $(((minutes - 1) * 60)))"
say "other processes mapping Qt Core (their share lowers a PSS): $(processes_mapping '/libQt6Core[.]so' "$program" "$reference_pid")"
kill "$reference_pid"
wait "$reference_pid" 2>/dev/null || true
reference_pid=""
sleep 1
read -r alone_rss alone_pss alone_uss <<<"$(memory_kb "$program")"
say "the program once the bare window ended: PSS $alone_pss kB, RSS $alone_rss kB, USS $alone_uss kB"
figure_row "memory after $minutes minutes, a bell every minute (window program; PSS beside the reference, and alone)" \
    "$(pss_and_rss "$pss_end" "$rss_end"); alone PSS $(mib "$alone_pss")" \
    "$(reference_memory "$pss_end" "$rss_end" "$reference_pss" "$reference_rss")" "PSS ≤ 40 MiB and ≤ 1.3× the reference"
end_program
