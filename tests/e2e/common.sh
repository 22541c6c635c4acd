# Shared by the whole-program tests: reporting, the tray, and the real program started from a copy
# of its folder at a chosen local date and time (scripts/lib does the work). Sourced, not run.
#
# Environment: HALVIX_APP_DIR (the built program folder), HALVIX_BUILD_DIR (screenshots and the
# program's output go to e2e-artifacts/ there).

e2e_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$e2e_dir/../../scripts/lib/sound.sh"

: "${HALVIX_APP_DIR:?the program folder}"
: "${HALVIX_BUILD_DIR:?the build folder}"
artifacts=$HALVIX_BUILD_DIR/e2e-artifacts
mkdir -p "$artifacts"
work=$(mktemp -d /tmp/halvix-e2e-XXXXXX)
program=""
export TZ=Asia/Shanghai # the school's local time

# Ends what the test started, at its exit.
stop_program_and_services() {
    [ -n "$program" ] && kill -KILL "$program" 2>/dev/null
    [ -n "$recorder" ] && kill "$recorder" 2>/dev/null
    stop_services
    rm -rf "$work"
}
trap stop_program_and_services EXIT

failures=0
pass() { printf 'ok: %s\n' "$*"; }
fail() {
    printf 'FAILED: %s\n' "$*"
    failures=$((failures + 1))
}

# a11y COMMAND ARGS...: scripts/lib/a11y.py; one call may wait long for a busy bus.
a11y() { timeout 30 /usr/bin/python3 "$HALVIX_LIB/a11y.py" "$@" 2>/dev/null; }

# The status column of the plan's first row, read over the accessibility bus as a screen reader would.
entry_status() { a11y plan | awk -F'\t' 'NR == 1 { print $6 }'; }
entry_status_is() { [ "$(entry_status)" = "$1" ]; }

tray_icon_docked() {
    local host
    for host in $(xdotool search --class trayer 2>/dev/null); do
        xwininfo -tree -id "$host" 2>/dev/null | grep -q '("halvix" ' && return 0
    done
    return 1
}

# Starts a display with a tray host, a sound server and a session bus unless the caller has them;
# finds the faketime library.
ensure_services() {
    start_missing_services bus || exit 1
    find_faketime || exit 1
}

# The campus helpers (scripts/lib/campus.sh) with the services; what they start ends at exit.
use_campus() {
    source "$HALVIX_LIB/campus.sh"
    : "${HALVIX_SNAPSHOT_FILES:?the snapshot tool}"
    trap 'campus_down; stop_program_and_services' EXIT
    ensure_services
}

# The 主控 (office) and three buildings b1 (zone teach), b2 (lab) and b3 with the broker running,
# their clocks at 10:00:00 tomorrow (the certificates are valid from today on); sets nodes.
three_buildings() {
    nodes=(b1 b2 b3)
    campus_up "$work/campus" --central office --name 办公室 --node b1 --name 教学楼 --zones teach:教学楼 \
        --node b2 --name 实验楼 --zones lab:实验楼 --node b3 --name 图书馆 || exit 1
    campus_clock "$(date -d tomorrow +%F) 10:00:00"
}

# A copy of the program folder to run and change; sets app.
copy_app() {
    app=$work/app
    copy_program_folder "$HALVIX_APP_DIR" "$app" || exit 1
}

# wednesday_entry TIME SOUND: a copy of the program folder (sets app) whose plan for Wednesday 12
# March 2025 (daily timetable, spring term, school week Monday to Friday: zccjtime) holds one entry
# at TIME; sets entry_epoch, its second.
wednesday_entry() {
    copy_app
    daily_spring "$app" 1125
    sqlite3 "$app/jbase.mdb" "delete from zccjtime;
        insert into zccjtime values ('1', '星期三', '$1', '第一节上课', '$2', '待完', '');" || exit 1
    entry_epoch=$(date -d "2025-03-12 $1" +%s)
}

# launch_recorded START_TEXT OUTPUT: records the sink from before the start (22,050 samples a
# second), then launches; sets entry_real, the real second of the entry.
launch_recorded() {
    record_sink "$work/rec.raw" 22050
    launch "$@"
    entry_real=$((entry_epoch - offset))
}

# launch START_TEXT OUTPUT: starts the program from the copy with its clock at START_TEXT (local
# time); sets program, offset (faked minus real seconds) and launched (the real start).
launch() {
    start_program_at "$app" "$2" "$1" QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
}

# entry_sound_heard SOUND_FILE: seven seconds after the entry's real second entry_real (a whole
# bell sound is in by then) ends the recording, keeps it as recording.wav among the artifacts and
# checks that a sound began at the entry's second (0.2 s early to 1 s late) and that it is
# SOUND_FILE: as long, at about its pitch, and at the level it was made (within 0.5 dB).
entry_sound_heard() {
    local sound=$1 onset heard late expected heard_pitch expected_pitch level
    sleep_until $((entry_real + 7))
    stop_recording
    recording_wav "$artifacts/recording.wav"
    read -r onset heard < <(onset_times | head -1)
    if [ -z "${onset:-}" ] || ! awk -v s="$heard" 'BEGIN { exit !(s > 0.5) }'; then
        fail "no sound on the sink ($(sink_name)) within seven seconds of the entry"
        return
    fi
    late=$(seconds_between "$entry_real" "$onset")
    if within "$late" -0.2 1.0; then
        pass "sound began $late s after the entry's second"
    else
        fail "sound began $late s after the entry's second"
    fi
    sox "$artifacts/recording.wav" "$work/sound.wav" trim "$(seconds_between "$record_start" "$onset")" "$heard"
    sox "$sound" -r "$record_rate" -c 1 "$work/reference.wav" silence 1 0.005 1% reverse silence 1 0.005 1% reverse
    expected=$(soxi -D "$work/reference.wav")
    heard_pitch=$(rough_pitch "$work/sound.wav")
    expected_pitch=$(rough_pitch "$work/reference.wav")
    if within "$(seconds_between "$expected" "$heard")" -0.3 0.3 &&
        within "$heard_pitch" "$(awk -v p="$expected_pitch" 'BEGIN { print p * 0.9 }')" \
            "$(awk -v p="$expected_pitch" 'BEGIN { print p * 1.1 }')"; then
        pass "recorded $heard s at about $heard_pitch Hz: ${sound##*/} is $expected s at about $expected_pitch Hz"
    else
        fail "recorded $heard s at about $heard_pitch Hz, but ${sound##*/} is $expected s at about $expected_pitch Hz"
    fi
    level=$(awk -v heard="$(energy_db "$work/sound.wav")" -v made="$(energy_db "$work/reference.wav")" \
        'BEGIN { printf "%.2f", heard - made }')
    if within "$level" -0.5 0.5; then
        pass "recorded at the file's level ($level dB)"
    else
        fail "recorded $level dB from the level of ${sound##*/}"
    fi
}

# tray_click BUTTON [REPEAT]: clicks the middle of our icon in the tray host.
tray_click() {
    local host icon
    for host in $(xdotool search --class trayer 2>/dev/null); do
        icon=$(xwininfo -tree -id "$host" 2>/dev/null | awk '/\("halvix" / { print $1; exit }')
        [ -n "$icon" ] && break
    done
    [ -n "$icon" ] || return 1
    xdotool mousemove --window "$icon" 8 8 click --repeat "${2:-1}" --delay 60 "$1"
}

# tray_pick KEYS...: opens the tray menu with a right click and walks it with the keyboard (the
# open menu holds the keyboard; the accessibility bus does not show a tray menu).
tray_pick() { tray_click 3 && sleep 1 && xdotool key --delay 120 "$@"; }

# The main window on screen: brought back from the tray by a double click on the icon if needed.
show_main_window() {
    window_visible || { tray_click 1 2 && wait_for 10 window_visible; }
}

# open_from_main BUTTON: presses a button of the main window, brought back from the tray first (it
# hides there a few seconds after the start; a dialog closing just before may still hold it).
open_from_main() { show_main_window && a11y press "$main_window_title" button "$1"; }

# close_window TITLE [BUTTON]: presses BUTTON (Escape without one) until the window TITLE is gone; a
# press while the program is busy may be lost.
window_gone() { ! a11y shown "$1"; }
close_window() {
    local try
    for try in 1 2 3; do
        a11y shown "$1" || return 0
        if [ -n "${2:-}" ]; then a11y press "$1" button "$2" || xdotool key Escape; else xdotool key Escape; fi
        wait_for 5 window_gone "$1" && return 0
    done
    return 1
}

# ends_cleanly HOW: waits for the program to end; passes when it ends with status 0 and its tray
# icon has gone.
ends_cleanly() {
    if wait_for 15 program_ended; then
        wait "$program"
        local status=$?
        program=""
        if [ "$status" -eq 0 ]; then pass "$1 ended the program with status 0"; else fail "$1: status $status"; fi
        if tray_icon_docked; then fail "the tray icon is still docked"; else pass "tray icon removed"; fi
    else
        fail "still running 15 s after $1"
    fi
}

# stop_bell: ends the program with SIGTERM and waits for it.
stop_bell() {
    kill -TERM "$program"
    wait_for 15 program_ended || fail "the bell still runs 15 s after SIGTERM"
    program=""
}

# ring_log_rows COLUMNS: sets rows to the ring log's rows, COLUMNS ("计划时间, 结果") separated by
# "|", oldest first, and prints them for whoever reads the test's output.
ring_log_rows() {
    rows=$(sqlite3 -separator '|' "$app/ringlog.db" "select $1 from ringlog order by rowid")
    echo "ringlog rows:"
    sed 's/^/    /' <<<"$rows"
}

# Exit status of the test: 1 with the program's output after any failure.
finish() {
    if [ "$failures" -ne 0 ]; then
        echo "program output:"
        cat "$artifacts"/"$1"*.txt
        exit 1
    fi
    echo "all checks passed (artifacts in $artifacts)"
}
