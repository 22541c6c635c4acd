#!/usr/bin/env bash
# What the running program holds in memory, by mapping: the program runs with one entry armed (its
# sound decoded ahead) for SECONDS beside the bare window (bench/reference/BareWindow.cpp), then
# /proc/PID/smaps of each is summed by mapped file.
#
#   bench/memory.sh [BUILD_DIR] [SECONDS=70] [TOP=25]
#
# Prints "resident memory with the next bell decoded ahead: N kB", the TOP largest mappings, the
# TOP mappings by which the program holds more than the bare window, and a figure line.
set -euo pipefail
lib=$(dirname "${BASH_SOURCE[0]}")/../scripts/lib
source "$lib/program.sh"
source "$lib/procstat.sh"
source "$lib/figures.sh"

seconds=${2:-70}
top=${3:-25}
if [ "$(date +%H%M)" -ge 2355 ]; then
    say "run this before 23:55: the plan's last entry is at 23:59:59"
    exit 1
fi
# One entry rings ten seconds after the start (the sink and the sound server's connection are then
# loaded as at any bell); the next is armed and its sound decoded ahead until the day's last second.
measured_copy "${1:-$HALVIX_ROOT/build}" memory "$(date -d '+10 seconds' +%H:%M:%S) 就寝.mp3" "23:59:59 就寝.mp3"
reference=$build/bench/bench_reference_window
[ -x "$reference" ] || { say "no reference window in $build/bench"; exit 1; }

start_measured
"$reference" >/dev/null 2>&1 &
reference_pid=$!
trap 'kill "$reference_pid" 2>/dev/null; [ -n "$program" ] && kill "$program" 2>/dev/null; stop_services; rm -rf "$work"' EXIT
sleep "$seconds"
rss=$(rss_kb "$program")
reference_rss=$(rss_kb "$reference_pid")
say "resident memory with the next bell decoded ahead, after $seconds s: $rss kB"
smaps_by_mapping "$program" "$top"
for library in libQt6Multimedia libpulse libX11 libavcodec libavformat libicu; do
    say "$library: $(grep -c "/$library" "/proc/$program/maps" || true) mappings"
done
say "beside the bare window, after $seconds s:"
smaps_against "$program" "$reference_pid" "$top"
figure_row "resident memory after $seconds s, the next bell decoded ahead (window program)" "$(mib "$rss")" \
    "$(mib "$reference_rss") ($(ratio "$rss" "$reference_rss"))" "≤ 40 MiB and ≤ 1.3× the reference"
end_program
