#!/usr/bin/env bash
# An entry that has rung stays rung when the plan is reloaded. The real executable starts from a
# copy of the program folder on Wednesday 12 March 2025 at 10:00:00 with one entry at 10:00:12;
# the test records the sink, finds the entry's sound, and about four seconds after it clicks the
# main window's 春季 (already checked: the season is written again and the plan reloaded), found
# over the accessibility bus as a screen reader would. Checks that the entry rang once at its
# second and that nothing sounds in the fifteen seconds after the click.
#
# Needs a display with a tray host, a PulseAudio server and a session bus (scripts/test.sh starts
# them); brings its own when run alone. Environment: HALVIX_APP_DIR, HALVIX_BUILD_DIR (the
# recording and the program's output go to e2e-artifacts/).
set -uo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ensure_services

# --- Record the sink, start the program, let the entry ring -------------------------------------
wednesday_entry 10:00:12 上课.mp3
launch_recorded "2025-03-12 10:00:00" "$artifacts/reload-program-output.txt"
wait_for 60 window_visible || fail "the window never appeared"

# The window goes into the tray about six seconds after it appears; the click needs it on screen.
sleep_until $((entry_real + 2))
wait_for 20 show_main_window || fail "the main window did not come back from the tray"

# --- 春季 about four seconds after the ring -------------------------------------------------------
# A mouse click where the bus places it, as the database fault scenarios click 考试: the control's
# own toggle action changes its state without the click that the program's reload follows.
sleep_until $((entry_real + 4))
if a11y click 春季; then
    clicked=$(now)
    pass "clicked 春季 $(seconds_between "$entry_real" "$clicked") s after the entry's second"
else
    clicked=$(now)
    fail "no 春季 to click in the main window"
fi

sleep_until "$(awk -v c="$clicked" 'BEGIN { printf "%.3f", c + 15 }')"
stop_recording
recording_wav "$artifacts/reload-recording.wav"
onset_times >"$work/onsets.txt"
echo "sounds heard (seconds after the entry's second, length):"
awk -v e="$entry_real" '{ printf "    %+.2f s, %.2f s long\n", $1 - e, $2 }' "$work/onsets.txt"

# --- The entry rang once, at its second ---------------------------------------------------------
read -r first _ <"$work/onsets.txt"
if [ -n "${first:-}" ] && within "$(seconds_between "$entry_real" "$first")" -0.2 1.0; then
    pass "the entry rang $(seconds_between "$entry_real" "$first") s after its second"
else
    fail "no sound within a second of the entry's second"
fi

# --- Nothing after the click ----------------------------------------------------------------------
again=$(awk -v c="$clicked" '$1 > c { printf "%.2f ", $1 - c }' "$work/onsets.txt")
if [ -z "$again" ]; then
    pass "no sound in the 15 s after the click: the reload kept the entry rung"
else
    fail "sound again ${again}s after the click: the reload rang the entry a second time"
fi

kill -TERM "$program"
ends_cleanly "SIGTERM"

finish reload-program-output
