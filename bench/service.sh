#!/usr/bin/env bash
# The service without a window: its resident memory after MINUTES of ringing, a bell every minute
# (a single file, a folder of short tracks, in turn), next to a reference measured in the same run:
# a bare QCoreApplication of ours that opens the same database. Then what it maps: no widget, GUI,
# media or network library, on disk (ldd) nor in the running process (/proc/PID/maps).
#
#   bench/service.sh [BUILD_DIR] [MINUTES=60]
set -euo pipefail
lib=$(dirname "${BASH_SOURCE[0]}")/../scripts/lib
source "$lib/program.sh"
source "$lib/procstat.sh"

minutes=${2:-60}
if [ $(($(date +%s) - $(date -d 00:00 +%s) + (minutes + 3) * 60)) -ge 86399 ]; then
    say "run this earlier in the day: the run must end before midnight"
    exit 1
fi
sounds=(上课.mp3 voic/课间操)
entries=()
for ((m = 1; m <= minutes; ++m)); do
    entries+=("$(date -d "+$m minutes" +%H:%M):30 ${sounds[m % 2]}")
done
measured_copy "${1:-$HALVIX_ROOT/build}" service "${entries[@]}" "23:59:59 就寝.mp3"
reference=$build/bench/reference_core
[ -x "$reference" ] || { say "no reference program $reference"; exit 1; }

"$work/app/halvix" --headless >"$work/service.txt" 2>&1 &
program=$!
"$reference" "$work/app/jbase.mdb" &
reference_pid=$!
trap 'kill "$reference_pid" 2>/dev/null; [ -n "$program" ] && kill "$program" 2>/dev/null; stop_services; rm -rf "$work"' EXIT
sleep $((minutes * 60 + 45))

service_kb=$(rss_kb "$program")
reference_kb=$(rss_kb "$reference_pid")
rang=$(sqlite3 "$work/app/ringlog.db" "select count(*) from ringlog where 结果 = '已响铃'")
say "service resident memory after $minutes minutes ($rang rings): $service_kb kB; reference (QCoreApplication with the database open): $reference_kb kB; ratio $(awk -v a="$service_kb" -v b="$reference_kb" 'BEGIN { printf "%.2f", a / b }'); goal ≤ 16 MiB"
# linked PATTERN: how many libraries matching PATTERN the service needs on disk and maps running.
linked() {
    echo "ldd halvix-service $(ldd "$work/app/halvix-service" | grep -cE "$1" || true), mapped by the running service $(grep -cE "$1" "/proc/$program/maps" || true)"
}
say "window libraries: $(linked 'libQt6(Gui|Widgets|Multimedia)'); QtNetwork: $(linked libQt6Network); libpulse and libX11 mapped $(grep -cE '/lib(pulse|X11)' "/proc/$program/maps" || true)"
smaps_by_mapping "$program" 15
say "beside the reference:"
smaps_against "$program" "$reference_pid" 20
end_program
