#!/usr/bin/env bash
# What the running program holds in memory, by mapping: the program runs with one entry armed (its
# sound decoded ahead) for SECONDS beside the bare window (bench/reference/BareWindow.cpp), then
# /proc/PID/smaps of each is summed by mapped file.
#
#   bench/memory.sh [BUILD_DIR] [SECONDS=70] [TOP=25]
#
# Prints the program's and the bare window's PSS, RSS and USS (procstat.sh says what each counts)
# with the ratios, the TOP largest mappings, the TOP mappings by which the program holds more than
# the bare window, the program's memory once the bare window has ended (a library page the two
# share counts half to each while both run) and a figure line. Goals are counted in PSS.
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
trap '[ -z "$reference_pid" ] || kill "$reference_pid" 2>/dev/null; [ -n "$program" ] && kill "$program" 2>/dev/null; stop_services; rm -rf "$work"' EXIT
sleep "$seconds"
read -r rss pss uss <<<"$(memory_kb "$program")"
read -r reference_rss reference_pss reference_uss <<<"$(memory_kb "$reference_pid")"
say "memory with the next bell decoded ahead, after $seconds s: PSS $pss kB, RSS $rss kB, USS $uss kB"
say "the bare window beside it: PSS $reference_pss kB, RSS $reference_rss kB, USS $reference_uss kB;" \
    "the program's over it: PSS $(ratio "$pss" "$reference_pss"), RSS $(ratio "$rss" "$reference_rss")," \
    "USS $(ratio "$uss" "$reference_uss")"
say "other processes mapping Qt Core (their share lowers a PSS): $(processes_mapping '/libQt6Core[.]so' "$program" "$reference_pid")"
# What the program links beyond the bare window (SQLite, the sound server's client library and its
# chain), as the running program maps it, with the client library's shared-memory pool.
mapfile -t only_program < <(comm -23 <(libraries_of "$work/app/halvix") <(libraries_of "$reference"))
read -r linked_rss linked_pss linked_uss <<<"$(files_memory_kb "$program" "${only_program[@]}" /memfd:pulseaudio)"
say "libraries linked beyond the bare window (${#only_program[@]} files) and the sound server's memory pool:" \
    "PSS $linked_pss kB, RSS $linked_rss kB, USS $linked_uss kB"
smaps_by_mapping "$program" "$top"
for library in libQt6Multimedia libpulse libX11 libavcodec libavformat libicu; do
    say "$library: $(grep -c "/$library" "/proc/$program/maps" || true) mappings"
done
say "beside the bare window, after $seconds s:"
smaps_against "$program" "$reference_pid" "$top"
kill "$reference_pid"
wait "$reference_pid" 2>/dev/null || true
reference_pid=""
sleep 1
read -r alone_rss alone_pss alone_uss <<<"$(memory_kb "$program")"
say "the program once the bare window ended: PSS $alone_pss kB, RSS $alone_rss kB, USS $alone_uss kB"
figure_row "memory after $seconds s, the next bell decoded ahead (window program; PSS beside the reference, and alone)" \
    "$(pss_and_rss "$pss" "$rss"); alone PSS $(mib "$alone_pss")" \
    "$(reference_memory "$pss" "$rss" "$reference_pss" "$reference_rss")" "PSS ≤ 40 MiB and ≤ 1.3× the reference"
end_program
