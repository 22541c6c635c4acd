#!/usr/bin/env bash
# The bell's ticks while another process holds the database locked across the nightly reload: the
# headless bell runs from local time 01:00:40 (faked) for 90 s, with a bell at 01:01:02 and a folder
# playlist from 01:01:10; the sqlite3 shell holds jbase.mdb under BEGIN EXCLUSIVE from 01:00:50 to
# 01:01:30. Prints the ticks' lateness (bench_LockedDatabaseUiBench) and the bell's notices, first of
# the same run without the lock (the reference), then of the run with it.
#
#   bench/locked-database.sh [BUILD_DIR]      (its app/ is the program folder, its bench/ the bench)
set -euo pipefail
lib=$(dirname "${BASH_SOURCE[0]}")/../scripts/lib
source "$lib/program.sh"

measured_copy "${1:-$HALVIX_ROOT/build}" locked "01:01:02 上课.mp3" "01:01:10 voic/课间操"
bench_program=$build/bench/bench_LockedDatabaseUiBench
[ -x "$bench_program" ] || { say "no $bench_program"; exit 1; }
find_faketime

# run_from_0100 LOCK: the bench from 01:00:40 (faked) for 90 s, the database locked when LOCK is yes.
run_from_0100() {
    rm -rf "$work/run"
    cp -a "$work/app" "$work/run"
    offset=$(($(date -d "01:00:40" +%s) - $(date +%s)))
    env LD_PRELOAD="$faketime_library" FAKETIME_DONT_FAKE_MONOTONIC=1 FAKETIME="$(printf '%+ds' "$offset")" \
        "$bench_program" "$work/run" 90 >"$work/ticks.txt" 2>"$work/notices.txt" &
    program=$!
    if [ "$1" = yes ]; then
        sleep_until "$(real_at 01:00:50)"
        { echo "begin exclusive;"; sleep_until "$(real_at 01:01:30)"; echo "commit;"; } | sqlite3 "$work/run/jbase.mdb"
    fi
    wait "$program"
    program=""
    cat "$work/ticks.txt"
    sed 's/^/  /' "$work/notices.txt"
}
real_at() { echo $(($(date -d "$1" +%s) - offset)); }

printf 'reference: '
run_from_0100 no
printf 'locked: '
run_from_0100 yes
