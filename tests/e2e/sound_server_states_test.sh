#!/usr/bin/env bash
# The headless bell and what a sound server can be: idle between bells, muted by a user, frozen.
# On Wednesday 12 March 2025, started at 10:00:05 on a server of its own that remembers streams'
# volumes as desktops do (module-stream-restore):
#   - 10:00:10 上课.mp3 rings; once it ended the bell holds no stream, so the output may sleep;
#   - 10:00:20 长.mp3 rings and a user mutes it in a mixer at 10:00:22 (`halvix stop` at 10:00:25);
#     the server keeps that mute for the program: 10:00:30 上课.mp3 is logged 音量为零, not 已响铃;
#   - the output itself muted: 10:00:40 is 音量为零 too;
#   - the server frozen (SIGSTOP) at 10:00:47: 10:00:50 is 无声音输出 within seconds, and SIGTERM
#     ends the program within 2 s all the same.
# Environment: HALVIX_APP_DIR, HALVIX_BUILD_DIR.
set -uo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ensure_services

wednesday_entry 10:00:10 上课.mp3
sqlite3 "$app/jbase.mdb" "insert into zccjtime values ('2', '星期三', '10:00:20', '长', '长.mp3', '待完', ''),
    ('3', '星期三', '10:00:30', '第二节', '上课.mp3', '待完', ''),
    ('4', '星期三', '10:00:40', '第三节', '上课.mp3', '待完', ''),
    ('5', '星期三', '10:00:50', '第四节', '上课.mp3', '待完', '');" || exit 1
ffmpeg -v error -y -f lavfi -i "sine=frequency=523:duration=20" -ac 1 "$app/voic/长.mp3" || exit 1

server_dir=$(mktemp -d /tmp/halvix-states-XXXXXX)
serve_sound "$server_dir" "$server_dir/log" sink_name=states_null || exit 1
server_pid=${HALVIX_SERVICE_PIDS[-1]}
server() { PULSE_SERVER="unix:$server_dir/native" "$@"; }
server pactl load-module module-stream-restore restore_device=false >/dev/null || exit 1
halvix_inputs() { server pactl list short sink-inputs | awk '{ print $1 }'; }

output=$artifacts/sound-states-output.txt
program_args=(--headless)
start_program_at "$app" "$output" "2025-03-12 10:00:05" DISPLAY= WAYLAND_DISPLAY= \
    PULSE_SERVER="unix:$server_dir/native" XDG_RUNTIME_DIR="$server_dir"
start_real=$((entry_epoch - offset - 5))
at() { echo $((start_real + $1 - 5)); } # at SECOND: the real second of 10:00:SECOND

sleep_until "$(at 8)"
[ -z "$(halvix_inputs)" ] && pass "no stream held before the first bell" || fail "a stream held before the bell"
sleep_until "$(at 17)"
[ -z "$(halvix_inputs)" ] && pass "no stream held once the bell ended" ||
    fail "the bell still holds a stream after its sound: $(server pactl list short sink-inputs)"

# --- A user mutes the program in a mixer while a track plays --------------------------------------
sleep_until "$(at 22)"
input=$(halvix_inputs | head -1)
[ -n "$input" ] && server pactl set-sink-input-mute "$input" 1 || fail "no stream of the program at 10:00:22"
sleep_until "$(at 25)"
env -u DISPLAY "$app/halvix" stop >/dev/null 2>&1
sleep_until "$(at 33)"
input=$(halvix_inputs | head -1)
[ -n "$input" ] && server pactl set-sink-input-mute "$input" 0 # the user unmutes it again

# --- The output muted ------------------------------------------------------------------------------
sleep_until "$(at 38)"
server pactl set-sink-mute states_null 1
sleep_until "$(at 45)"
server pactl set-sink-mute states_null 0

# --- The server frozen ----------------------------------------------------------------------------
sleep_until "$(at 47)"
kill -STOP "$server_pid"
sleep_until "$(at 58)"
grep -q '无法播放声音: 声音服务器无应答' "$output" && pass "a frozen server is told" ||
    fail "no word of the frozen server"
asked=$(now)
kill -TERM "$program"
if wait_for 2 program_ended; then
    pass "SIGTERM with the server frozen ended the program in $(seconds_between "$asked" "$(now)") s"
else
    fail "the program still runs 2 s after SIGTERM with the server frozen"
    wait_for 30 program_ended
fi
program=""
kill -CONT "$server_pid"

ring_log_rows "计划时间, 结果, 备注"
expect_row() {
    grep -qF "$1" <<<"$rows" && pass "row: $1" || fail "no row: $1"
}
expect_row '10:00:10|已响铃|'
expect_row '10:00:20|已响铃|'
expect_row '10:00:30|音量为零|本程序的声音在音量控制中被设为静音'
expect_row '10:00:40|音量为零|输出设备已静音'
expect_row '10:00:50|无声音输出|声音服务器无应答'
[ "$(grep -c '^10:00' <<<"$rows")" -eq 5 ] && pass "one row an entry" || fail "not one row an entry"
rm -rf "$server_dir"

finish sound-states
