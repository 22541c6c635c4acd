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

build=$(cd "${1:-$HALVIX_ROOT/build}" && pwd)
seconds=${2:-70}
top=${3:-25}
[ -x "$build/app/halvix" ] || { say "no program in $build/app"; exit 1; }

work=$(mktemp -d /tmp/halvix-memory-XXXXXX)
program=""
trap '[ -n "$program" ] && kill "$program" 2>/dev/null; stop_services; rm -rf "$work"' EXIT
start_missing_services

copy_program_folder "$build/app" "$work/app"
daily_spring "$work/app" 0
# One entry rings ten seconds after the start (the sink and the sound server's connection are then
# loaded as at any bell); the next is armed and its sound decoded ahead until the day's last second.
if [ "$(date +%H%M)" -ge 2355 ]; then
    say "run this before 23:55: the plan's last entry is at 23:59:59"
    exit 1
fi
sqlite3 "$work/app/jbase.mdb" "delete from zccjtime;
    insert into zccjtime values ('1', '', '$(date -d '+10 seconds' +%H:%M:%S)', '铃', '就寝.mp3', '待完', '');
    insert into zccjtime values ('2', '', '23:59:59', '就寝', '就寝.mp3', '待完', '');"

"$work/app/halvix" >/dev/null 2>&1 &
program=$!
sleep "$seconds"
say "resident memory with the next bell decoded ahead, after $seconds s: $(rss_kb "$program") kB"
smaps_by_mapping "$program" "$top"
for library in libgst libpulse libavcodec libavformat; do
    say "$library: $(grep -c "/$library" "/proc/$program/maps" || true) mappings"
done
kill -TERM "$program"
wait "$program" || true
program=""
