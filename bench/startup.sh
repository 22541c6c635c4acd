#!/usr/bin/env bash
# The running program's costs: start-up until the window is on screen, resident memory after a
# minute, CPU time over an idle minute, and memory over a longer run (default ten minutes).
#
#   bench/startup.sh [BUILD_DIR] [MINUTES]
#
# BUILD_DIR defaults to build (its app/ is the program folder). Brings its own virtual display,
# tray host and null sound sink when there are none. The program runs from a copy of the program
# folder whose plan for any day holds one entry at 23:59:59, so nothing rings while it is measured.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/common.sh"

build=$(cd "${1:-$HALVIX_ROOT/build}" && pwd)
minutes=${2:-10}
[ -x "$build/app/halvix" ] || { say "no program in $build/app"; exit 1; }
if [ "$(date +%H%M)" -ge 2330 ]; then
    say "run this before 23:30: the plan's only entry is at 23:59:59"
    exit 1
fi

work=$(mktemp -d /tmp/halvix-bench-XXXXXX)
program=""
trap '[ -n "$program" ] && kill "$program" 2>/dev/null; stop_services; rm -rf "$work"' EXIT
[ -n "${DISPLAY:-}" ] || { start_display && start_tray_host; }
pactl info >/dev/null 2>&1 || start_sound_server

cp -a "$build/app/." "$work/app"
echo 0 >"$work/app/xqno.txt" # no school-week day: daily spring uses zccjtime every day
sqlite3 "$work/app/jbase.mdb" "delete from lxtime; insert into lxtime values ('1');
    delete from jjtime; insert into jjtime values ('1'); delete from zccjtime;
    insert into zccjtime values ('1', '', '23:59:59', '就寝', '就寝.mp3', '待完', '');"

visible() { xdotool search --onlyvisible --name '^Halvix  校园广播系统' >/dev/null 2>&1; }
ms_now() { date +%s%3N; }
stop_program() {
    kill -TERM "$program"
    wait "$program" || say "program ended with status $?"
    program=""
}
rss_kb() { awk '/^VmRSS/ { print $2 }' "/proc/$program/status"; }
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$program/stat"; }
hz=$(getconf CLK_TCK)

# --- Start-up: from the exec to the window on screen, five times --------------------------------
times=()
for run in 1 2 3 4 5; do
    start=$(ms_now)
    "$work/app/halvix" >/dev/null 2>&1 &
    program=$!
    until visible; do
        kill -0 "$program" 2>/dev/null || { say "the program ended during start-up"; exit 1; }
        [ $(($(ms_now) - start)) -gt 60000 ] && { say "no window after a minute"; exit 1; }
        sleep 0.01
    done
    times+=($(($(ms_now) - start)))
    stop_program
done
sorted=$(printf '%s\n' "${times[@]}" | sort -n | tr '\n' ' ')
say "start-up to window shown (ms, five runs, sorted): $sorted"

# --- One long run ---------------------------------------------------------------------------------
"$work/app/halvix" >/dev/null 2>&1 &
program=$!
sleep 60
rss_1=$(rss_kb)
cpu_1=$(cpu_ticks)
say "resident memory after one minute: $((rss_1 / 1024)) MiB ($rss_1 kB)"
sleep 60
cpu_2=$(cpu_ticks)
say "CPU over the second (idle) minute: $(awk -v t=$((cpu_2 - cpu_1)) -v hz="$hz" \
    'BEGIN { printf "%.2f s = %.3f %% of one core", t / hz, t / hz / 60 * 100 }')"

samples="$rss_1 $(rss_kb)"
for ((second = 120; second < minutes * 60; second += 60)); do
    sleep 60
    rss=$(rss_kb)
    samples+=" $rss"
done
max=$(printf '%s\n' $samples | sort -n | tail -1)
cpu_end=$(cpu_ticks)
say "resident memory each minute from minute 1 to $minutes (kB): $samples"
say "growth from minute 1 to minute $minutes: $(($(rss_kb) - rss_1)) kB (largest $max kB)"
say "CPU over minutes 1 to $minutes: $(awk -v t=$((cpu_end - cpu_1)) -v hz="$hz" -v m=$((minutes - 1)) \
    'BEGIN { printf "%.2f s = %.3f %% of one core", t / hz, t / hz / (m * 60) * 100 }')"
stop_program
