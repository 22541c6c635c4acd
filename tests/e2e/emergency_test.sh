#!/usr/bin/env bash
# 紧急广播 on the headless bell, judged by the recorded sink and the ring log. On Wednesday 12 March
# 2025 the plan rings 上课.mp3 at 10:00:15, 上课.mp3 at 10:00:25 and 下课.mp3 at 10:00:45; the alarm
# is a 2 kHz tone of 1.3 s (警报.wav), so what sounds below 1 kHz is the plan's, not the alarm's.
#   - `emergency 警报.wav` while the 10:00:15 entry plays cuts it within 1 s; the alarm loops with no
#     gap longer than 1 s; `ring` and `stop` are refused meanwhile;
#   - the 10:00:25 entry stays silent and is logged 紧急广播中;
#   - killed (SIGKILL) and started again, the bell resumes the alarm at once;
#   - `emergency clear`: silence, then 10:00:45 rings;
#   - without a running bell, the command stores the state for the next start.
# Needs a PulseAudio server (brings its own when run alone). Environment: HALVIX_APP_DIR,
# HALVIX_BUILD_DIR.
set -uo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ensure_services

wednesday_entry 10:00:15 上课.mp3
sqlite3 "$app/jbase.mdb" "insert into zccjtime values ('2', '星期三', '10:00:25', '第二节上课', '上课.mp3', '待完', ''),
    ('3', '星期三', '10:00:45', '第二节下课', '下课.mp3', '待完', '');" || exit 1
sox -n -r 44100 -c 2 "$app/voic/警报.wav" synth 1.3 sine 2000 vol 0.5 || exit 1
output=$artifacts/emergency-output.txt
program_args=(--headless)
record_sink "$work/rec.raw" 22050
start_program_at "$app" "$output" "2025-03-12 10:00:05" DISPLAY= WAYLAND_DISPLAY=
entry_real=$((entry_epoch - offset))
bell() { env -u DISPLAY "$app/halvix" "$@" 2>&1; }
plus() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a + b }'; }

# low_level FROM TO: the level below 1 kHz between the real seconds FROM and TO.
low_level() { band_level "$work/all.wav" "$record_start" "$1" "$2" -1000; }

# --- The entry plays; the emergency cuts it and loops the alarm ------------------------------------
wait_for 10 grep -q 无窗口运行 "$output" || fail "the bell did not start"
sleep_until "$entry_real.9"
asked=$(now)
out=$(bell emergency 警报.wav) && pass "emergency: $out" || fail "emergency: $out"
sleep_until $((entry_real + 3))
out=$(bell ring 上课.mp3)
[ $? -eq 2 ] && [[ "$out" == *紧急广播中* ]] && pass "ring refused: $out" || fail "ring during the emergency: $out"
out=$(bell stop)
[ $? -eq 2 ] && [[ "$out" == *"emergency clear"* ]] && pass "stop refused: $out" || fail "stop during the emergency: $out"

# --- Killed during the emergency, started again -------------------------------------------------
killed_real=$((entry_real + 13))
sleep_until "$killed_real"
kill -KILL "$program"
wait_for 10 program_ended || fail "the bell still runs after SIGKILL"
restarted=$(now)
start_program "$app" "$artifacts/emergency-restart-output.txt" FAKETIME="$(printf '%+ds' "$offset")" DISPLAY=
wait_for 10 grep -q '紧急广播中: 警报.wav' "$artifacts/emergency-restart-output.txt" ||
    fail "the restarted bell does not say 紧急广播中"

# --- Cleared: silence, then the plan's next entry -----------------------------------------------
cleared_real=$((entry_real + 22))
sleep_until "$cleared_real"
cleared=$(now)
out=$(bell emergency clear) && pass "clear: $out" || fail "clear: $out"
sleep_until $((entry_real + 36))
stop_recording
recording_wav "$work/all.wav"
cp "$work/all.wav" "$artifacts/emergency-recording.wav"

before=$(low_level "$entry_real.3" "$asked")
after=$(low_level "$(plus "$asked" 1)" $((entry_real + 4)))
if awk -v b="$before" -v a="$after" 'BEGIN { exit !(b > 0.05 && a < 0.01) }'; then
    pass "the entry's sound (level $before below 1 kHz) was cut within 1 s of the request (then $after)"
else
    fail "the entry's sound was not cut within 1 s: level below 1 kHz $before before, $after from 1 s after"
fi
inside=$(low_level $((entry_real + 10)) $((entry_real + 13)))
awk -v a="$inside" 'BEGIN { exit !(a < 0.01) }' && pass "the entry inside the emergency was not heard (level $inside)" ||
    fail "the entry inside the emergency was heard: level below 1 kHz $inside"
read -r gap first < <(quiet_between "$(plus "$asked" 1)" "$killed_real")
within "$gap" 0 1.0 && within "$first" 0 0.1 && pass "the alarm looped until the kill, longest gap $gap s" ||
    fail "the alarm's longest gap before the kill was $gap s (first sound $first s in)"
# The killed program's last buffered sound may still be heard as the new one starts: across the
# restart, the silence must stay under 3 s; from 3 s after it, the new program's loop has no gap.
read -r gap first < <(quiet_between "$restarted" "$(plus "$restarted" 4)")
within "$gap" 0 3.0 && [ "$first" != "-1.00" ] && pass "the alarm resumed after the restart, at most $gap s silent" ||
    fail "the alarm did not resume within 3 s of the restart (silent $gap s, first sound $first s after)"
read -r gap first < <(quiet_between "$(plus "$restarted" 3)" "$cleared")
within "$gap" 0 1.0 && within "$first" 0 0.1 && pass "after the restart the alarm looped, longest gap $gap s" ||
    fail "after the restart the alarm's longest gap was $gap s (first sound $first s in)"
# The window ends 0.3 s before the next entry's second: its onset may fall a few ms early on the
# recording's timeline, and the check below allows it 0.2 s.
read -r gap first < <(quiet_between "$(plus "$cleared" 1)" "$(plus $((entry_real + 30)) -0.3)")
[ "$first" = "-1.00" ] && pass "silent from 1 s after the clear to the next entry" ||
    fail "sound $first s after the clear's first second"
read -r onset heard < <(onset_times | awk -v t=$((entry_real + 29)) '$1 > t' | head -1)
late=$(seconds_between $((entry_real + 30)) "${onset:-0}")
within "$late" -0.2 1.0 && pass "the entry after the clear rang $late s after its second" ||
    fail "the entry after the clear: sound at ${onset:-nothing} ($late s)"

stop_bell
ring_log_rows "计划时间, 事件, 结果, 备注"
expected='10:00:15|第一节上课|已响铃|
|紧急广播|紧急广播中|由 命令行
10:00:25|第二节上课|紧急广播中|紧急广播中: 警报.wav
|紧急广播|紧急广播中|程序启动时继续, 由 命令行
|解除紧急广播|已停止|由 命令行
10:00:45|第二节下课|已响铃|'
[ "$rows" = "$expected" ] && pass "the ring log holds the entry inside the emergency as 紧急广播中" ||
    fail "ring log rows differ from: $(tr '\n' ' ' <<<"$expected")"

# --- Without a running bell the state waits for the next start ----------------------------------
out=$(bell emergency 警报.wav --zone lab) && [[ "$out" == *"紧急广播中: 警报.wav (区域 lab)"* ]] &&
    pass "stored without a bell: ${out//$'\n'/ }" || fail "emergency without a bell: $out"
out=$(bell emergency) && [ "$out" = "紧急广播中: 警报.wav (区域 lab)" ] && pass "shown: $out" || fail "shown: $out"
out=$(bell emergency 缺.wav)
[ $? -eq 2 ] && [[ "$out" == *缺.wav* ]] && pass "a missing sound is refused: $out" || fail "missing sound: $out"
out=$(bell emergency clear) && [ "$out" = "已解除紧急广播" ] && [ "$(bell emergency)" = "没有紧急广播" ] &&
    pass "cleared without a bell" || fail "clear without a bell: $out"

finish emergency
