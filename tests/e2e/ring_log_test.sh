#!/usr/bin/env bash
# The ring log and the tray actions of the real program. Wednesday 12 March 2025 from 10:00:00: a
# good entry at 10:00:12, one whose file is missing at 10:00:30, one at 10:01:00 that a clock step
# at 10:00:40 (+90 s) leaves 70 s overdue, and one at 10:02:40 that 今日静音 from the tray menu
# silences. Then 立即播放 ▸ a 20 s tone and 停止播放 three seconds later. Checks the rows of
# ringlog.db, the missing file's note read over the accessibility bus at start-up, and in the
# recorded sink that the tone ended at 停止播放. The folder starts with a ring log as older versions
# wrote it (no 节点 column): its row is kept, and `log --node` lists one building's rows.
#
# Needs a display with a tray host, a PulseAudio server and a session bus; brings its own when run
# alone. Environment: HALVIX_APP_DIR, HALVIX_BUILD_DIR.
set -uo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ensure_services

wednesday_entry 10:00:12 上课.mp3
sqlite3 "$app/jbase.mdb" "insert into zccjtime values
    ('2', '星期三', '10:00:30', '缺', '缺失.mp3', '待完', ''),
    ('3', '星期三', '10:01:00', '跳', '下课.mp3', '待完', ''),
    ('4', '星期三', '10:02:40', '静', '下课.mp3', '待完', '');" || exit 1
# A 20 s tone for 立即播放.
python3 - "$app/voic/长音.wav" <<'PY'
import math, struct, sys, wave
with wave.open(sys.argv[1], "wb") as out:
    out.setnchannels(1); out.setsampwidth(2); out.setframerate(22050)
    out.writeframes(b"".join(struct.pack("<h", int(12000 * math.sin(2 * math.pi * 440 * i / 22050)))
                             for i in range(22050 * 20)))
PY

rm -f "$app"/ringlog.db*
sqlite3 "$app/ringlog.db" "create table ringlog (时刻 TEXT, 计划时间 TEXT, 事件 TEXT, 声音 TEXT, 结果 TEXT,
    延迟毫秒 INTEGER, 备注 TEXT); insert into ringlog values
    ('2025-03-11 08:00:00.015', '08:00:00', '旧', '上课.mp3', '已响铃', 15, '');" || exit 1

# The clock is read from a file, so the test can step it while the program runs.
start=$(date -d "2025-03-12 10:00:00" +%s)
offset=$((start - $(date +%s)))
clock_file=$work/faketime
printf '%+ds\n' "$offset" >"$clock_file"
record_sink "$work/rec.raw" 22050
start_program "$app" "$artifacts/ringlog-program-output.txt" FAKETIME_TIMESTAMP_FILE="$clock_file" \
    FAKETIME_CACHE_DURATION=1 QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
# The place of 长音.wav in 立即播放 ▸: the single-sound files of voic first, by bytes.
tone_place=$(cd "$app/voic" && ls -1 | LC_ALL=C sort | awk '!/\/$/ && substr($0, length($0) - 3, 1) == "."' |
    grep -nx '长音.wav' | cut -d: -f1)
real_of() { echo $(($(date -d "2025-03-12 $1" +%s) - offset)); }

# --- The missing file is flagged at start-up ------------------------------------------------------
wait_for 60 window_visible || fail "the window never appeared"
notes=""
for _ in $(seq 20); do
    notes=$(a11y notes | awk -F'\t' '$5 == "缺失.mp3" { print $NF }')
    [ -n "$notes" ] && break
    sleep 0.25
done
if [[ "$notes" == *缺少声音* ]]; then pass "the missing file was flagged at start-up: $notes"; else fail "no note on the missing file's row"; fi

# --- A clock step at 10:00:40 passes 10:01:00 by 70 s ---------------------------------------------
sleep_until "$(real_of 10:00:40)"
offset=$((offset + 90))
printf '%+ds\n' "$offset" >"$clock_file"

# --- 今日静音 before 10:02:40, from the tray menu -------------------------------------------------
sleep_until "$(real_of 10:02:20)"
tray_pick Down Down Down Down Return || fail "the tray menu did not open"
sleep_until "$(real_of 10:02:48)"
# --- 立即播放 ▸ 长音.wav, 停止播放 3 s later -------------------------------------------------------
downs=()
for _ in $(seq 2 "$tone_place"); do downs+=(Down); done
tray_pick Down Down Right "${downs[@]}" Return || fail "the tray menu did not open"
played=$(now)
sleep 3
tray_pick Down Down Down Return || fail "the tray menu did not open"
stopped=$(now)
sleep 4
stop_recording
recording_wav "$artifacts/ringlog-recording.wav"
onset_times >"$work/onsets.txt"
echo "sounds heard (real time, length):"
cat "$work/onsets.txt"
tone=$(awk -v p="$played" '$1 > p - 0.5 && $1 < p + 3 { print $2; exit }' "$work/onsets.txt")
if [ -n "$tone" ] && within "$tone" 1 "$(seconds_between "$played" "$stopped" | awk '{ print $1 + 1 }')"; then
    pass "the 20 s tone lasted $tone s: 停止播放 cut it"
else
    fail "no tone cut short by 停止播放 (heard: ${tone:-nothing})"
fi
muted_real=$(real_of 10:02:40)
if awk -v m="$muted_real" '$1 > m - 1 && $1 < m + 5 { found = 1 } END { exit !found }' "$work/onsets.txt"; then
    fail "a sound at the muted entry's second"
else
    pass "nothing sounded at the muted 10:02:40"
fi
kill -TERM "$program"
ends_cleanly "SIGTERM"

# --- The rows --------------------------------------------------------------------------------------
rows=$(sqlite3 -separator '|' "$app/ringlog.db" "select 计划时间, 结果, 延迟毫秒, 备注 from ringlog order by rowid")
echo "ringlog rows:"
echo "$rows" | sed 's/^/    /'
row_of() { echo "$rows" | awk -F'|' -v t="$1" '$1 == t'; }
IFS='|' read -r _ result delay _ <<<"$(row_of 10:00:12)"
if [ "$result" = 已响铃 ] && [ "${delay:-9999}" -lt 200 ]; then pass "10:00:12 已响铃, $delay ms late"; else fail "10:00:12: $(row_of 10:00:12)"; fi
[[ "$(row_of 10:00:30)" == *"|缺少声音|"*缺失.mp3* ]] && pass "10:00:30 缺少声音" || fail "10:00:30: $(row_of 10:00:30)"
[[ "$(row_of 10:01:00)" == *"|逾时跳过|"* ]] && pass "10:01:00 逾时跳过" || fail "10:01:00: $(row_of 10:01:00)"
[[ "$(row_of 10:02:40)" == *"|今日静音|"* ]] && pass "10:02:40 今日静音" || fail "10:02:40: $(row_of 10:02:40)"
echo "$rows" | grep -q '^|手动播放|' && pass "立即播放 logged 手动播放" || fail "no 手动播放 row"
echo "$rows" | grep -q '^|已停止|' && pass "停止播放 logged 已停止" || fail "no 已停止 row"

# --- The older file's row kept; a building's row apart from this machine's -----------------------
[[ "$(sqlite3 "$app/ringlog.db" "select 计划时间, 事件, 节点 from ringlog where 时刻 like '2025-03-11%'")" == "08:00:00|旧|" ]] &&
    pass "the older ring log's row kept, as this machine's" || fail "the older ring log's row: $(sqlite3 "$app/ringlog.db" "select * from ringlog where 时刻 like '2025-03-11%'")"
sqlite3 "$app/ringlog.db" "insert into ringlog values
    ('2025-03-12 10:00:12.020', '10:00:12', '上课', '上课.mp3', '已响铃', 20, '', 'syl');"
by_node=$(env -u DISPLAY "$app/halvix" --folder "$app" log --node syl --since 2025-03-11)
[ "$by_node" = "$(printf '2025-03-12 10:00:12.020\t10:00:12\t上课\t上课.mp3\t已响铃\t20\t\tsyl')" ] &&
    pass "log --node syl lists that building's row alone" || fail "log --node syl: $by_node"
# In code page 936, as a spreadsheet on a Chinese Windows PC opens it.
csv_titles=$(env -u DISPLAY "$app/halvix" --folder "$app" log --csv | iconv -f gbk -t utf-8 | head -1)
[ "$csv_titles" = 时刻,计划时间,事件,声音,结果,延迟毫秒,备注,节点 ] &&
    pass "log --csv in code page 936 has the 节点 column" || fail "log --csv titles read as GBK: $csv_titles"

finish ringlog-program-output
