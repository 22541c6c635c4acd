#!/usr/bin/env bash
# One bell per program folder, and the headless bell. From a copy of the program folder with one
# entry (Wednesday 12 March 2025, 10:00:15), recording the sound server's sink:
#   - headless, without a display, under faketime: the entry rings at its second; a second
#     headless start on the folder with another TMPDIR (a service beside a desktop session) hands
#     over and ends with status 0, one without XDG_RUNTIME_DIR cannot start a second bell either;
#     the lock is in the program folder and the socket in the runtime folder, nothing in either
#     TMPDIR; `ring` plays a sound on the running bell at once and `stop` silences it well before
#     its end; SIGTERM ends it with 0;
#   - with the window: a second plain start on the same folder ends with 0 and the entry rings
#     once, not twice; killed, it leaves a lock and a socket that do not block the next start.
# Needs a PulseAudio server and, for the window part, a display (brings its own when run alone).
# Environment: HALVIX_APP_DIR, HALVIX_BUILD_DIR.
set -uo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ensure_services

# onsets_after EPOCH: the onsets heard from EPOCH - 1 on, as "SECONDS-AFTER-EPOCH LENGTH".
onsets_after() { onset_times | awk -v e="$1" '$1 > e - 1 { printf "%.2f %.2f\n", $1 - e, $2 }'; }

# --- Headless, no display -----------------------------------------------------------------------
wednesday_entry 10:00:15 上课.mp3
record_sink "$work/rec.raw" 22050
program_args=(--headless)
mkdir -p "$work/tmp-service" "$work/tmp-desktop" "$work/home"
start_program_at "$app" "$artifacts/one-bell-headless-output.txt" "2025-03-12 10:00:05" DISPLAY= WAYLAND_DISPLAY= \
    TMPDIR="$work/tmp-service"
program_args=()
entry_real=$((entry_epoch - offset))
sleep 2
second=$(env -u DISPLAY LD_PRELOAD="$faketime_library" FAKETIME_DONT_FAKE_MONOTONIC=1 TMPDIR="$work/tmp-desktop" \
    FAKETIME="$(printf '%+ds' "$offset")" timeout 30 "$app/halvix" --headless 2>&1)
status=$?
[ "$status" -eq 0 ] && pass "a second headless start with another TMPDIR hands over and ends with 0 ($second)" ||
    fail "second headless start: status $status ($second)"
# Without XDG_RUNTIME_DIR the running bell's socket is not found, but the lock still holds.
third=$(env -u DISPLAY -u XDG_RUNTIME_DIR HOME="$work/home" LD_PRELOAD="$faketime_library" \
    FAKETIME_DONT_FAKE_MONOTONIC=1 FAKETIME="$(printf '%+ds' "$offset")" timeout 30 "$app/halvix" --headless 2>&1)
status=$?
[ "$status" -eq 3 ] && pass "a start without the runtime folder is no second bell (3: $third)" ||
    fail "start without XDG_RUNTIME_DIR: status $status ($third)"
name=halvix-$(printf %s "$(realpath "$app")" | sha256sum | cut -c1-24)
socket=$(find "$XDG_RUNTIME_DIR" -maxdepth 1 -type s -name "$name")
strays=$(find "$work/tmp-service" "$work/tmp-desktop" /tmp -maxdepth 1 -name "$name*")
if [ -f "$app/halvix.lock" ] && [ -n "$socket" ] && [ -z "$strays" ]; then
    pass "lock in the program folder, socket in the runtime folder ($socket), none in TMPDIR"
else
    fail "lock: $(ls -l "$app/halvix.lock" 2>&1); socket: ${socket:-none}; in TMPDIR: ${strays:-none}"
fi
sleep_until $((entry_real + 8))
heard=$(stop_recording; onsets_after "$entry_real")
want=$(soxi -D "$app/voic/上课.mp3")
if awk -v w="$want" 'NR == 1 && $1 > -0.2 && $1 < 1.5 && $2 > w - 0.3 { ok = 1 } END { exit !(ok && NR == 1) }' <<<"$heard"; then
    pass "headless without a display: the entry rang once at its second ($heard)"
else
    fail "headless: expected 上课.mp3 once at 10:00:15, heard: ${heard:-nothing}"
fi

record_sink "$work/rec2.raw" 22050
sleep 1
asked=$(now)
out=$(env -u DISPLAY "$app/halvix" ring 就寝.mp3 2>&1) && pass "ring: $out" || fail "ring: $out"
sleep 1.5
out=$(env -u DISPLAY "$app/halvix" stop 2>&1) && pass "stop: $out" || fail "stop: $out"
sleep 5
heard=$(stop_recording; onsets_after "$asked")
if awk 'NR == 1 && $1 > -0.2 && $1 < 1.0 && $2 > 0.5 && $2 < 3.2 { ok = 1 } END { exit !(ok && NR == 1) }' <<<"$heard"; then
    pass "ring sounded at once and stop ended it early ($heard; the file lasts $(soxi -D "$app/voic/就寝.mp3") s)"
else
    fail "ring/stop: heard ${heard:-nothing}"
fi
# The ring log holds the entry, the ring and the stop, each as a tab-separated row.
log=$(env -u DISPLAY "$app/halvix" log 2>&1)
for result in 已响铃 手动播放 已停止; do
    grep -q "	$result	" <<<"$log" && pass "log shows $result" || fail "log lacks $result: $log"
done
out=$(env -u DISPLAY "$app/halvix" ring 没有这个.mp3 2>&1)
[ $? -eq 2 ] && pass "ring of a missing file: status 2 ($out)" || fail "ring of a missing file: $out"

kill -TERM "$program"
if wait_for 15 program_ended; then
    wait "$program"
    status=$?
    [ "$status" -eq 0 ] && pass "SIGTERM ended the headless bell with 0" || fail "SIGTERM: status $status"
    program=""
else
    fail "the headless bell still runs 15 s after SIGTERM"
fi
grep -q '已结束' "$artifacts/one-bell-headless-output.txt" && pass "its notices carry the local time" ||
    fail "headless output: $(cat "$artifacts/one-bell-headless-output.txt")"

# --- Two starts with the window -----------------------------------------------------------------
wednesday_entry 10:00:15 上课.mp3
launch_recorded "2025-03-12 10:00:05" "$artifacts/one-bell-first-output.txt"
wait_for 60 window_visible || fail "the window never appeared"
second=$(LD_PRELOAD="$faketime_library" FAKETIME_DONT_FAKE_MONOTONIC=1 FAKETIME="$(printf '%+ds' "$offset")" \
    timeout 20 "$app/halvix" 2>&1)
status=$?
[ "$status" -eq 0 ] && pass "a second start on the folder ends with 0 ($second)" || fail "second start: status $status ($second)"
sleep_until $((entry_real + 8))
heard=$(stop_recording; onsets_after "$entry_real")
if [ "$(grep -c . <<<"$heard")" -eq 1 ]; then pass "two starts: the entry rang once ($heard)"; else fail "two starts: heard ${heard:-nothing}"; fi

# --- A killed bell leaves its lock and socket: neither blocks the next start ----------------------
kill -KILL "$program"
wait "$program" 2>/dev/null
program=""
env -u DISPLAY "$app/halvix" stop >/dev/null 2>&1
[ $? -eq 3 ] && pass "after a kill, stop finds no running bell (3)" || fail "after a kill, stop did not end with 3"
program_args=(--headless)
start_program "$app" "$artifacts/one-bell-restart-output.txt" DISPLAY=
program_args=()
if wait_for 10 eval 'env -u DISPLAY "$app/halvix" stop >/dev/null 2>&1'; then
    pass "a new bell starts on the killed one's folder and answers"
else
    fail "no bell answers after the restart: $(cat "$artifacts/one-bell-restart-output.txt")"
fi

finish one-bell-
