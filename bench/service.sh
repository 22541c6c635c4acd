#!/usr/bin/env bash
# The service without a window: its memory (PSS, RSS and USS: procstat.sh says what each counts)
# after MINUTES of ringing, a bell every minute (a single file, a folder of short tracks, in turn),
# next to a reference measured in the same run: a bare QCoreApplication of ours that opens the same
# database. Then what it maps: none of Qt's widget, GUI, multimedia or network libraries, on disk
# (ldd) nor in the running process (/proc/PID/maps); the sound server's client library and the X
# client libraries it links are counted. Goals are counted in PSS.
#
#   bench/service.sh [BUILD_DIR] [MINUTES=60]
set -euo pipefail
lib=$(dirname "${BASH_SOURCE[0]}")/../scripts/lib
source "$lib/program.sh"
source "$lib/procstat.sh"
source "$lib/figures.sh"

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
trap '[ -z "$reference_pid" ] || kill "$reference_pid" 2>/dev/null; [ -n "$program" ] && kill "$program" 2>/dev/null; stop_services; rm -rf "$work"' EXIT
sleep $((minutes * 60 + 45))

read -r rss pss uss <<<"$(memory_kb "$program")"
read -r reference_rss reference_pss reference_uss <<<"$(memory_kb "$reference_pid")"
rang=$(sqlite3 "$work/app/ringlog.db" "select count(*) from ringlog where 结果 = '已响铃'")
say "service memory after $minutes minutes ($rang rings): PSS $pss kB, RSS $rss kB, USS $uss kB;" \
    "reference (QCoreApplication with the database open): PSS $reference_pss kB, RSS $reference_rss kB," \
    "USS $reference_uss kB; ratio PSS $(ratio "$pss" "$reference_pss"), RSS $(ratio "$rss" "$reference_rss"); goal PSS ≤ 16 MiB"
say "other processes mapping Qt Core (their share lowers a PSS): $(processes_mapping '/libQt6Core[.]so' "$program" "$reference_pid")"
# linked PATTERN: how many libraries matching PATTERN the service needs on disk and maps running.
linked() {
    echo "ldd halvix-service $(ldd "$work/app/halvix-service" | grep -cE "$1" || true), mapped by the running service $(grep -cE "$1" "/proc/$program/maps" || true)"
}
say "window libraries: $(linked 'libQt6(Gui|Widgets|Multimedia)'); QtNetwork: $(linked libQt6Network); libpulse and libX11 mapped $(grep -cE '/lib(pulse|X11)' "/proc/$program/maps" || true)"
# The libraries the service links beyond its reference, as the running service maps them: the sound
# server's client library and its chain, with the library's shared-memory pool.
mapfile -t only_service < <(comm -23 <(libraries_of "$work/app/halvix-service") <(libraries_of "$reference"))
read -r client_rss client_pss client_uss <<<"$(files_memory_kb "$program" "${only_service[@]}" /memfd:pulseaudio)"
say "libraries linked beyond the reference (${#only_service[@]} files) and the sound server's memory pool:" \
    "PSS $client_pss kB, RSS $client_rss kB, USS $client_uss kB"
smaps_by_mapping "$program" 15
say "beside the reference:"
smaps_against "$program" "$reference_pid" 20
kill "$reference_pid"
wait "$reference_pid" 2>/dev/null || true
reference_pid=""
sleep 1
read -r alone_rss alone_pss alone_uss <<<"$(memory_kb "$program")"
say "the service once the reference ended: PSS $alone_pss kB, RSS $alone_rss kB, USS $alone_uss kB"
figure_row "memory after $minutes minutes, a bell every minute (service, \`halvix --headless\`; PSS beside the reference, and alone)" \
    "$(pss_and_rss "$pss" "$rss"); alone PSS $(mib "$alone_pss")" \
    "$(reference_memory "$pss" "$rss" "$reference_pss" "$reference_rss")" "PSS ≤ 16 MiB"
end_program
