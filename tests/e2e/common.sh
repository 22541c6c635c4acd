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

# Ends what the test started; the test's own EXIT trap calls it last.
stop_program_and_services() {
    [ -n "$program" ] && kill -KILL "$program" 2>/dev/null
    [ -n "$recorder" ] && kill "$recorder" 2>/dev/null
    stop_services
    rm -rf "$work"
}

failures=0
pass() { printf 'ok: %s\n' "$*"; }
fail() {
    printf 'FAILED: %s\n' "$*"
    failures=$((failures + 1))
}

# a11y COMMAND ARGS...: scripts/lib/a11y.py; one call may wait long for a busy bus.
a11y() { timeout 30 /usr/bin/python3 "$HALVIX_LIB/a11y.py" "$@" 2>/dev/null; }

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

# The main window on screen: brought back from the tray by a double click on the icon if needed.
show_main_window() {
    window_visible || { tray_click 1 2 && wait_for 10 window_visible; }
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

# Exit status of the test: 1 with the program's output after any failure.
finish() {
    if [ "$failures" -ne 0 ]; then
        echo "program output:"
        cat "$artifacts"/"$1"*.txt
        exit 1
    fi
    echo "all checks passed (artifacts in $artifacts)"
}
