#!/usr/bin/env bash
# A start while the folder's bell is ending waits for that bell to end, then rings. From a copy of
# the program folder with one entry (Wednesday 12 March 2025), on a sound server of the test's own:
#   - the sound server frozen (SIGSTOP) while the bell plays, SIGTERM to the bell: it ends within
#     2 s all the same. A plain start made at once waits instead of giving up; once the old bell
#     has ended the server is thawed, the new start is the bell, and the entry at 10:01:00 rings;
#   - a headless bell stopped (SIGSTOP) holds the folder without answering: a second start waits
#     and, once the stopped one is killed, becomes the bell and the entry at 10:00:40 rings.
# Neither start says 没有应答. Needs a display with a tray host and a session bus (brings its own
# when run alone). Environment: HALVIX_APP_DIR, HALVIX_BUILD_DIR.
set -uo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ensure_services

# A sound server to freeze, whatever server the caller's session has.
mkdir -p "$work/pulse"
serve_sound "$work/pulse" "$work/pulse/log" || exit 1
sound_server=${HALVIX_SERVICE_PIDS[-1]}
export PULSE_SERVER="unix:$work/pulse/native" HALVIX_NULL_SINK=halvix_null
thaw_sound_server() { kill -CONT "$sound_server" 2>/dev/null; }
first=""
second=""
end_both() {
    thaw_sound_server
    local pid
    for pid in $first $second; do kill -KILL "$pid" 2>/dev/null; done
    stop_program_and_services
}
trap end_both EXIT

# another_start OUTPUT [ARGUMENT...]: a second start on the folder at the same faked time; sets
# second.
another_start() {
    local output=$1
    shift
    env LD_PRELOAD="$faketime_library" FAKETIME_DONT_FAKE_MONOTONIC=1 FAKETIME="$(printf '%+ds' "$offset")" \
        "$app/halvix" "$@" >"$output" 2>&1 &
    second=$!
}
running() { kill -0 "$1" 2>/dev/null; }
bell_answers() { env -u DISPLAY "$app/halvix" stop >/dev/null 2>&1; [ $? -ne 3 ]; }

# rang_at_entry WHAT: ends the recording seven seconds after the entry and passes when a sound began
# at its second.
rang_at_entry() {
    sleep_until $((entry_real + 7))
    stop_recording
    local heard
    heard=$(onset_times | awk -v e="$entry_real" '$1 > e - 1 { printf "%.2f %.2f\n", $1 - e, $2 }')
    if awk 'NR == 1 && $1 > -0.2 && $1 < 1.5 { ok = 1 } END { exit !ok }' <<<"$heard"; then
        pass "$1: the entry rang at its second ($heard)"
    else
        fail "$1: expected the entry at its second, heard: ${heard:-nothing}"
    fi
}

# the_second_is_the_bell WHAT OUTPUT: the second start runs, said nothing of 没有应答, and answers.
the_second_is_the_bell() {
    if running "$second" && wait_for 15 bell_answers && ! grep -q 没有应答 "$2"; then
        pass "$1: the second start is the bell"
    else
        fail "$1: the second start is not the bell: $(cat "$2")"
    fi
}

# --- SIGTERM while the sound server is frozen ---------------------------------------------------------
wednesday_entry 10:01:00 上课.mp3
launch "2025-03-12 10:00:00" "$artifacts/quit-first-output.txt"
first=$program
wait_for 60 window_visible || fail "the window never appeared"
wait_for 15 bell_answers || fail "the first bell does not answer"
env -u DISPLAY "$app/halvix" ring 上课.mp3 >/dev/null || fail "ring on the first bell"
sleep 0.5
kill -STOP "$sound_server"
asked_to_end=$(now)
kill -TERM "$first"
another_start "$artifacts/quit-second-output.txt"
if wait_for 2 eval '! running "$first"'; then
    pass "the first bell ended $(seconds_between "$asked_to_end" "$(now)") s after SIGTERM"
else
    fail "the first bell still runs 2 s after SIGTERM with the sound server frozen"
    wait_for 60 eval '! running "$first"'
fi
thaw_sound_server
wait "$first" 2>/dev/null
running "$second" && pass "the second start waited for the first to end" ||
    fail "the second start gave up: $(cat "$artifacts/quit-second-output.txt")"
program=$second
record_sink "$work/quit.raw" 22050
entry_real=$((entry_epoch - offset))
the_second_is_the_bell "a start during the quit" "$artifacts/quit-second-output.txt"
rang_at_entry "a start during the quit"
stop_bell

# --- A stopped bell, killed -----------------------------------------------------------------------------
wednesday_entry 10:00:40 上课.mp3
program_args=(--headless)
start_program_at "$app" "$artifacts/quit-stopped-first-output.txt" "2025-03-12 10:00:00" DISPLAY=
program_args=()
first=$program
wait_for 20 bell_answers || fail "the first headless bell does not answer"
kill -STOP "$first"
another_start "$artifacts/quit-stopped-second-output.txt" --headless
sleep 4
if running "$second" && ! grep -q 无窗口运行 "$artifacts/quit-stopped-second-output.txt"; then
    pass "a start while the bell is stopped waits"
else
    fail "a start while the bell is stopped: $(cat "$artifacts/quit-stopped-second-output.txt")"
fi
kill -KILL "$first"
wait "$first" 2>/dev/null
program=$second
record_sink "$work/stopped.raw" 22050
entry_real=$((entry_epoch - offset))
the_second_is_the_bell "a start while the bell is stopped" "$artifacts/quit-stopped-second-output.txt"
rang_at_entry "a start while the bell is stopped"
stop_bell

finish quit-
