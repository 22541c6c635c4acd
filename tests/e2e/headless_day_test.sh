#!/usr/bin/env bash
# The headless bell through a morning, judged by the recorded sink and the ring log. A copy of the
# program folder with the autumn term stored; on Wednesday 12 March 2025 the spring midweek table
# rings 上课.mp3 at 10:00:15 and the autumn one 下课.mp3; both have an entry at 09:58:00 (passed
# before the start), one at 10:00:40 and one whose file is missing. Started headless at 10:00:05:
#   - it names the autumn term, reports the missing sound and rings the autumn table's sound;
#   - `mute` before 10:00:40 and `unmute` after it: nothing sounds then, nor after a restart
#     within that entry's minute; one log row;
#   - `stop` with nothing playing stops nothing and logs nothing;
#   - every entry has exactly one row: 09:58:00 未运行, also after the restart;
#   - what runs is halvix-service, which loads no widget, GUI or media library.
# Needs a PulseAudio server (brings its own when run alone). Environment: HALVIX_APP_DIR,
# HALVIX_BUILD_DIR.
set -uo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ensure_services

wednesday_entry 10:00:15 上课.mp3
sqlite3 "$app/jbase.mdb" "delete from jjtime; insert into jjtime values ('2');
    delete from zcqjtime; insert into zcqjtime values ('2', '星期三', '10:00:15', '第一节下课', '下课.mp3', '待完', '');
    insert into zccjtime values ('1', '星期三', '09:58:00', '早读', '早读.mp3', '待完', ''),
        ('3', '星期三', '10:00:40', '静音时', '下课.mp3', '待完', ''),
        ('4', '星期三', '11:00:00', '缺', '缺失.mp3', '待完', '');
    insert into zcqjtime select * from zccjtime where 时间 <> '10:00:15';" || exit 1
output=$artifacts/headless-day-output.txt
program_args=(--headless)
record_sink "$work/rec.raw" 22050
start_program_at "$app" "$output" "2025-03-12 10:00:05" DISPLAY= WAYLAND_DISPLAY=
entry_real=$((entry_epoch - offset))
# bell COMMAND: the command line of the running bell, its answer on standard output.
bell() { env -u DISPLAY "$app/halvix" "$@" 2>&1; }

# --- The autumn table rings ---------------------------------------------------------------------
entry_sound_heard "$app/voic/下课.mp3"
grep -q '今日: 星期三, 日常, 秋季' "$output" && pass "headless names the stored autumn term" ||
    fail "no autumn term in the headless output"
grep -q '1 个铃声有问题' "$output" && grep -q '缺失.mp3' "$output" &&
    pass "headless reports the missing sound: $(grep -A1 '个铃声有问题' "$output" | tr '\n' ' ')" ||
    fail "headless did not report the missing sound"

# The bell that rang is the service: neither on disk nor in memory a widget, GUI or media library,
# nor the network module, nor, outside a campus, the broker client and its TLS.
window_libraries='libQt6(Gui|Widgets|Multimedia|Network)|libmosquitto|libssl|libcrypto[.]'
if [ "$(readlink "/proc/$program/exe")" = "$(realpath "$app/halvix-service")" ] &&
    ! ldd "$app/halvix-service" | grep -qE "$window_libraries" &&
    ! grep -qE "$window_libraries" "/proc/$program/maps"; then
    pass "halvix --headless runs halvix-service, which maps no widget, GUI, media or broker library"
else
    fail "the headless bell is $(readlink "/proc/$program/exe"), mapping: $(grep -oE "$window_libraries[^ ]*" "/proc/$program/maps" | sort -u | tr '\n' ' ')"
fi

# --- Muted around 10:00:40, unmuted after it: silent ----------------------------------------------
record_sink "$work/rec2.raw" 22050
muted_real=$((entry_real + 25))
sleep_until $((muted_real - 12))
out=$(bell mute) && pass "mute: ${out%%$'\n'*}" || fail "mute: $out"
sleep_until $((muted_real + 10))
out=$(bell unmute) && pass "unmute: ${out%%$'\n'*}" || fail "unmute: $out"
sleep_until $((muted_real + 14))
out=$(bell stop)
[ "$out" = "没有正在播放的声音" ] && pass "stop with nothing playing: $out" || fail "stop: $out"

# --- Restarted within the muted entry's minute: it stays silent, and nothing is logged twice -------
kill -TERM "$program"
wait_for 15 program_ended || fail "the headless bell still runs 15 s after SIGTERM"
start_program "$app" "$artifacts/headless-day-restart-output.txt" FAKETIME="$(printf '%+ds' "$offset")" DISPLAY=
program_args=()
wait_for 10 eval 'bell stop >/dev/null' || fail "the restarted bell does not answer"
sleep_until $((muted_real + 35))
heard=$(stop_recording; onset_times)
if [ -z "$heard" ]; then
    pass "nothing sounded from the mute, through the unmute and a restart, to 35 s after the muted entry"
else
    fail "sound while muted, after the unmute or after the restart: $heard (muted entry at $muted_real)"
fi
stop_bell
ring_log_rows "计划时间, 结果"
expected='09:58:00|未运行
10:00:15|已响铃
10:00:40|今日静音'
if [ "$rows" = "$expected" ]; then
    pass "one row for each entry that came, none for the stop, nothing again after the restart"
else
    fail "ring log rows differ from: $(tr '\n' ' ' <<<"$expected")"
fi

finish headless-day
