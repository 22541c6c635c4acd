# Shared by the whole-program tests: reporting, polling, the services the program needs, and the
# real program started from a copy of its folder at a chosen local date and time. Sourced, not run.
#
# Environment: HALVIX_APP_DIR (the built program folder), HALVIX_BUILD_DIR (screenshots and the
# program's output go to e2e-artifacts/ there).

e2e_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$e2e_dir/../../scripts/common.sh"

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
    stop_services
    rm -rf "$work"
}

failures=0
pass() { printf 'ok: %s\n' "$*"; }
fail() {
    printf 'FAILED: %s\n' "$*"
    failures=$((failures + 1))
}
now() { date +%s.%N; }
# seconds_between A B: B - A, to the millisecond.
seconds_between() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
within() { awk -v x="$1" -v lo="$2" -v hi="$3" 'BEGIN { exit !(x >= lo && x <= hi) }'; }

# wait_for SECONDS COMMAND...: polls until COMMAND succeeds; false on timeout.
wait_for() {
    local deadline
    deadline=$(awk -v t="$(now)" -v s="$1" 'BEGIN { printf "%.3f", t + s }')
    shift
    until "$@"; do
        awk -v t="$(now)" -v d="$deadline" 'BEGIN { exit !(t > d) }' && return 1
        sleep 0.1
    done
}

main_window_title='Halvix  校园广播系统'
window_visible() { xdotool search --onlyvisible --name "^$main_window_title" >/dev/null 2>&1; }
window_hidden() { ! window_visible; }
tray_icon_docked() {
    local host
    for host in $(xdotool search --class trayer 2>/dev/null); do
        xwininfo -tree -id "$host" 2>/dev/null | grep -q '("halvix" ' && return 0
    done
    return 1
}
program_ended() { ! kill -0 "$program" 2>/dev/null; }

# Starts a display with a tray host, a sound server and a session bus unless the caller has them;
# finds the faketime library.
ensure_services() {
    if [ -z "${DISPLAY:-}" ]; then
        start_display && start_tray_host || exit 1
    fi
    if [ -z "${PULSE_SERVER:-}" ] || ! pactl info >/dev/null 2>&1; then
        start_sound_server || exit 1
    fi
    [ -n "${DBUS_SESSION_BUS_ADDRESS:-}" ] || start_session_bus
    faketime_library=$(dpkg -L libfaketime 2>/dev/null | grep -m1 '/libfaketime\.so\.1$')
    [ -f "$faketime_library" ] || { echo "libfaketime is not installed"; exit 1; }
}

# A copy of the program folder to run and change; sets app.
copy_program_folder() {
    app=$work/app
    cp -a "$HALVIX_APP_DIR/." "$app" || exit 1
}

# launch START_TEXT OUTPUT: starts the program from the copy with its clock at START_TEXT (local
# time); sets program, offset (faked minus real seconds) and launched (the real start).
launch() {
    # A fixed offset from the real clock, so the real moment of every faked second is known.
    offset=$(($(date -d "$1" +%s) - $(date +%s)))
    launched=$(now)
    # The library rather than the faketime wrapper, which would stand between the test and the
    # program's exit status. Monotonic time stays real, or the media pipeline stalls.
    LD_PRELOAD=$faketime_library FAKETIME=$(printf '%+ds' "$offset") FAKETIME_DONT_FAKE_MONOTONIC=1 \
        QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$app/halvix" >"$2" 2>&1 &
    program=$!
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
