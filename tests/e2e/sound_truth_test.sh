#!/usr/bin/env bash
# What the headless bell says of each entry is what the loudspeakers did. On Wednesday 12 March 2025,
# started at 10:00:05 with no sound server on its socket:
#   - 10:00:10 上课.mp3: no server: 无声音输出 with the reason; standard error says sound cannot be
#     heard, and that the entry did not ring; `halvix ring` answers 未响 with the reason, status 1;
#   - the server starts at 10:00:20; 10:00:40 上课.mp3 is heard on the sink and logged 已响铃;
#   - 10:00:50 坏.mp3, an ID3 tag and zeros: 无法播放;
#   - 10:01:00 长.mp3, 20 s: heard, then the server is killed at 10:01:05: a second row 播放中断;
#   - the server back at 10:01:15: 10:01:30 上课.mp3 is heard again, without a restart; then
#     `halvix ring` answers 已响铃 (status 0) once the sink has it.
# Environment: HALVIX_APP_DIR, HALVIX_BUILD_DIR.
set -uo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ensure_services

wednesday_entry 10:00:10 上课.mp3
sqlite3 "$app/jbase.mdb" "insert into zccjtime values ('2', '星期三', '10:00:40', '第二节', '上课.mp3', '待完', ''),
    ('3', '星期三', '10:00:50', '坏', '坏.mp3', '待完', ''),
    ('4', '星期三', '10:01:00', '长', '长.mp3', '待完', ''),
    ('5', '星期三', '10:01:30', '第三节', '上课.mp3', '待完', '');" || exit 1
{ printf 'ID3\3\0\0\0\0\0\0'; head -c 8192 /dev/zero; } >"$app/voic/坏.mp3"
ffmpeg -v error -y -f lavfi -i "sine=frequency=523:duration=20" -ac 1 "$app/voic/长.mp3" || exit 1

# The bell's sound server: a socket where nothing listens yet.
server_dir=$(mktemp -d /tmp/halvix-truth-XXXXXX)
output=$artifacts/sound-truth-output.txt
program_args=(--headless)
start_program_at "$app" "$output" "2025-03-12 10:00:05" DISPLAY= WAYLAND_DISPLAY= \
    PULSE_SERVER="unix:$server_dir/native" XDG_RUNTIME_DIR="$server_dir"
start_real=$((entry_epoch - offset - 5)) # 10:00:05
at() { echo $((start_real + $1 - 5)); }  # at SECOND: the real second of 10:00:SECOND (61: 10:01:01)
logged() { grep -c "已记录" "$output"; }
# The command line beside the bell, which listens in its runtime folder.
halvix() { env -u DISPLAY XDG_RUNTIME_DIR="$server_dir" "$app/halvix" "$@" 2>&1; }

sleep_until "$(at 16)"
grep -q '无法播放声音: 无法连接声音服务器' "$output" &&
    pass "without a sound server it says so: $(grep -m1 '无法播放声音' "$output" | cut -c21-)" ||
    fail "no word on standard error that no sound can be heard"
grep -q $'已记录\t.*\t10:00:10\t.*\t无声音输出' "$output" &&
    pass "10:00:10 logged 无声音输出" || fail "10:00:10 not logged 无声音输出"
grep -q '10:00:10 第一节上课 未响: 无声音输出' "$output" && pass "the missed entry told on standard error" ||
    fail "the missed entry not told on standard error"
asked=$(now)
out=$(halvix ring 上课.mp3)
status=$?
took=$(seconds_between "$asked" "$(now)")
[ "$status" -eq 1 ] && [[ $out == "未响: 无声音输出 ("?*")" ]] &&
    pass "ring without a sound server: status 1 after $took s, $out" || fail "ring without a sound server: status $status: $out"

# --- The server starts: the next entry is heard --------------------------------------------------
sleep_until "$(at 20)"
serve_sound "$server_dir" "$server_dir/log" || fail "the sound server did not start"
server_pid=${HALVIX_SERVICE_PIDS[-1]}
export PULSE_SERVER="unix:$server_dir/native"
record_sink "$work/rec.raw" 22050
sleep_until "$(at 47)"
grep -q '声音输出已恢复' "$output" && pass "the server's return is told" || fail "the server's return not told"
read -r onset heard < <(stop_recording; onset_times | head -1)
late=$(seconds_between "$(at 40)" "${onset:-0}")
if [ -n "${onset:-}" ] && within "$late" -0.2 1.0; then
    pass "10:00:40 heard $late s after its second"
else
    fail "10:00:40 not heard at its second (onset ${onset:-none}, $late s)"
fi

# --- A long track, heard, then the server killed in its middle -----------------------------------
sleep_until "$(at 65)"
kill -KILL "$server_pid"
sleep_until "$(at 75)"
serve_sound "$server_dir" "$server_dir/log2" || fail "the sound server did not start again"
record_sink "$work/rec2.raw" 22050
sleep_until "$(at 95)"
read -r onset heard < <(stop_recording; onset_times | head -1)
late=$(seconds_between "$(at 90)" "${onset:-0}")
if [ -n "${onset:-}" ] && within "$late" -0.2 1.0; then
    pass "10:01:30 heard $late s after its second, with the same program"
else
    fail "10:01:30 not heard after the server's return (onset ${onset:-none}, $late s)"
fi
record_sink "$work/rec3.raw" 22050
sleep 1 # the recorder's first moments are lost
asked=$(now)
out=$(halvix ring 上课.mp3)
status=$?
answered=$(now)
sleep 2
read -r onset heard < <(stop_recording; onset_times | head -1)
if [ "$status" -eq 0 ] && [ "$out" = "已响铃: 上课.mp3" ] && [ -n "${onset:-}" ] &&
    within "$(seconds_between "$asked" "$onset")" 0 1.5; then
    pass "ring with the server: $out after $(seconds_between "$asked" "$answered") s, heard $(seconds_between "$asked" "$onset") s after the request"
else
    fail "ring with the server: status $status: $out (onset ${onset:-none})"
fi
stop_bell

ring_log_rows "计划时间, 结果"
expected='10:00:10|无声音输出
|无声音输出
10:00:40|已响铃
10:00:50|无法播放
10:01:00|已响铃
10:01:00|播放中断
10:01:30|已响铃
|手动播放'
if [ "$rows" = "$expected" ]; then
    pass "every entry's row says what the loudspeakers did"
else
    fail "ring log rows differ from: $(tr '\n' ' ' <<<"$expected")"
fi
notes=$(sqlite3 "$app/ringlog.db" "select 备注 from ringlog where 结果 in ('无声音输出', '播放中断', '无法播放')")
[ "$(grep -c . <<<"$notes")" -eq 4 ] && ! grep -qx '' <<<"$notes" &&
    pass "each unheard row says why: $(tr '\n' ';' <<<"$notes")" || fail "an unheard row without its reason: $notes"
rm -rf "$server_dir"

finish sound-truth
