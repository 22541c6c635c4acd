#!/usr/bin/env bash
# What the running program holds in memory, by mapping: the program runs with one entry armed (its
# sound decoded ahead) for SECONDS, then /proc/PID/smaps is summed by mapped file.
#
#   bench/memory.sh [BUILD_DIR] [SECONDS=70] [TOP=25]
#
# Prints "resident memory with the next bell decoded ahead: N kB" and the TOP largest mappings.
set -euo pipefail
lib=$(dirname "${BASH_SOURCE[0]}")/../scripts/lib
source "$lib/program.sh"
source "$lib/procstat.sh"

seconds=${2:-70}
top=${3:-25}
if [ "$(date +%H%M)" -ge 2355 ]; then
    say "run this before 23:55: the plan's last entry is at 23:59:59"
    exit 1
fi
# One entry rings ten seconds after the start (the sink and the sound server's connection are then
# loaded as at any bell); the next is armed and its sound decoded ahead until the day's last second.
measured_copy "${1:-$HALVIX_ROOT/build}" memory "$(date -d '+10 seconds' +%H:%M:%S) 就寝.mp3" "23:59:59 就寝.mp3"

start_measured
sleep "$seconds"
say "resident memory with the next bell decoded ahead, after $seconds s: $(rss_kb "$program") kB"
smaps_by_mapping "$program" "$top"
for library in libgst libpulse libavcodec libavformat; do
    say "$library: $(grep -c "/$library" "/proc/$program/maps" || true) mappings"
done
end_program
