#!/usr/bin/env bash
# The bell's ticks in the window program while it works on something large, each load next to the
# reference run without it (bench_WindowLoadUiBench), one after the other in this run:
#   ringlog     the 响铃记录 window on a date of 100,000 rows (half of them from two buildings);
#   soundcheck  the day's sound check walking a folder of 5,000 tracks, and that folder played;
#   snapshot    a shared plan of 30 sounds, 30 MB, received and applied by the program as a building.
#
#   bench/window-loads.sh [BUILD_DIR] [SECONDS=40]     (its app/ is the program folder)
set -euo pipefail
lib=$(dirname "${BASH_SOURCE[0]}")/../scripts/lib
source "$lib/program.sh"

seconds=${2:-40}
measured_copy "${1:-$HALVIX_ROOT/build}" loads "23:59:30 上课.mp3"
bench_program=$build/bench/bench_WindowLoadUiBench
[ -x "$bench_program" ] || { say "no $bench_program"; exit 1; }

today=$(date +%F)
python3 - "$work/app/ringlog.db" "$today" <<'PY'
import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
db.execute("CREATE TABLE IF NOT EXISTS ringlog (时刻 TEXT, 计划时间 TEXT, 事件 TEXT, 声音 TEXT, 结果 TEXT,"
           " 延迟毫秒 INTEGER, 备注 TEXT, 节点 TEXT NOT NULL DEFAULT '')")
rows = []
for i in range(100000):
    second = i % 86400
    stamp = f"{sys.argv[2]} {second // 3600:02d}:{second // 60 % 60:02d}:{second % 60:02d}.{i % 1000:03d}"
    rows.append((stamp, stamp[11:19], "上课", "上课.mp3", "已响铃", i % 40, "", ("", "b1", "b2", "")[i % 4]))
db.executemany("insert into ringlog values (?, ?, ?, ?, ?, ?, ?, ?)", rows)
db.commit()
PY
mkdir -p "$work/app/voic/大量"
for i in $(seq -w 1 5000); do ln "$work/app/voic/上课.mp3" "$work/app/voic/大量/$i.mp3"; done

for load in none ringlog soundcheck snapshot; do
    rm -rf "$work/run"
    cp -a "$work/app" "$work/run"
    # A bell 20 s into each run; with the sound check, the folder's tracks, one after the other.
    at=$(date -d "now + 20 seconds" +%T)
    sound=上课.mp3
    [ "$load" = soundcheck ] && sound=voic/大量
    plan_every_day "$work/run" "$at $sound" "23:59:00 $sound" "23:59:30 上课.mp3"
    "$bench_program" "$work/run" "$load" "$seconds" 2>"$work/notices.txt"
    sort "$work/notices.txt" | uniq -c | sed 's/^/  /'
done
