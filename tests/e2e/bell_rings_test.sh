#!/usr/bin/env bash
# The whole program, as a school PC runs it: the real executable starts from a copy of the program
# folder at a chosen local date and time (faketime), with one bell entry a quarter of a minute
# later. Checks that the window appears and goes into the tray about six seconds later, that the
# tray icon is docked, that the entry's sound reaches the sound server at its second and the list
# (read over the accessibility bus, as a screen reader would) turns it from 待完 to 完成, that a
# double click on the tray icon brings the window back, and that the program ends cleanly when the
# system asks it to and from the tray menu's 关闭.
#
# Needs a display with a tray host, a PulseAudio server and a session bus (scripts/test.sh starts
# them); brings its own when run alone. Environment: HALVIX_APP_DIR (the built program folder),
# HALVIX_BUILD_DIR (the screenshot, the recording and the program's output go to e2e-artifacts/).
set -uo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

# --- Services -----------------------------------------------------------------------------------
ensure_services

# --- A program folder whose plan for Wednesday 12 March 2025 has one entry ----------------------
start_text="2025-03-12 10:00:00"
sound=上课.mp3
wednesday_entry 10:00:15 "$sound"

# --- Start the program at the chosen time, recording the sink from before ---------------------
launch_recorded "$start_text" "$artifacts/program-output.txt"

if wait_for 60 window_visible; then
    shown=$(now)
    pass "window shown $(seconds_between "$launched" "$shown") s after the start"
else
    fail "the window never appeared"
    shown=$(now)
fi

# A copied program folder stays the program folder wherever it lands (no per-user folder).
if xdotool search --name "^$main_window_title  —  $app\$" >/dev/null 2>&1; then
    pass "the copied folder $app is the program folder"
else
    fail "the title bar does not name the copied folder: $(xdotool search --name "^$main_window_title" getwindowname 2>/dev/null)"
fi

sleep 1.5 # let it paint
import -window root "$artifacts/main-window.png" 2>/dev/null &&
    pass "screenshot $artifacts/main-window.png"

if wait_for 20 entry_status_is 待完; then
    pass "the list shows the entry as 待完"
else
    fail "the list does not show the entry as 待完 (it reads '$(entry_status)')"
fi

if wait_for 30 tray_icon_docked; then
    pass "tray icon docked in the tray host"
else
    fail "no tray icon in the tray host"
fi

if wait_for 30 window_hidden; then
    hidden=$(now)
    after=$(seconds_between "$shown" "$hidden")
    if within "$after" 4.5 12; then
        pass "window went into the tray $after s after it appeared"
    else
        fail "window hidden $after s after it appeared (expected about 6)"
    fi
else
    fail "the window did not go into the tray"
fi

# --- The entry's sound ----------------------------------------------------------------------------
entry_sound_heard "$app/voic/$sound"

# --- Back from the tray, the entry done, and a clean end on request ------------------------------
tray_click 1 2
if wait_for 10 window_visible; then
    pass "a double click on the tray icon brought the window back"
else
    fail "a double click on the tray icon did not bring the window back"
fi
# Read as the user reads it: in the window brought back (hidden, it has no window to read).
if wait_for 20 entry_status_is 完成; then
    pass "the list shows the entry as 完成"
else
    fail "after its time the list shows the entry as '$(entry_status)'"
fi
kill -TERM "$program"
ends_cleanly "SIGTERM"

# --- The tray menu's only item ends the program ---------------------------------------------------
launch "$start_text" "$artifacts/program-output-2.txt"
if wait_for 60 window_visible && wait_for 30 tray_icon_docked; then
    tray_click 3
    # A popup of ours that the window manager does not handle, and not the icon's tooltip.
    menu_shown() {
        local w
        for w in $(xdotool search --onlyvisible --class halvix 2>/dev/null); do
            xwininfo -id "$w" 2>/dev/null | grep -q 'Override Redirect State: yes' &&
                ! xprop -id "$w" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q TOOLTIP && return 0
        done
        return 1
    }
    if wait_for 10 menu_shown; then
        xdotool key Up Return # 关闭 is the last item
        ends_cleanly "the tray menu's 关闭"
    else
        fail "no menu on a right click of the tray icon"
    fi
else
    fail "second start: no window or no tray icon"
fi

finish program-output
