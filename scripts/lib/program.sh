# The real program as the scripts run it: its window, a copy of its folder with a chosen day type
# and plan, and a start under faketime at a chosen local time; polling helpers. Sourced, not run.

[ -n "${HALVIX_LIB_PROGRAM:-}" ] && return 0
HALVIX_LIB_PROGRAM=1
source "$(dirname "${BASH_SOURCE[0]}")/services.sh"

main_window_title='Halvix  校园广播系统'
# Matched by the title's Latin start: under a locale that is not UTF-8 the old WM_NAME property,
# which xdotool reads, holds the Chinese part garbled (the window manager's _NET_WM_NAME is right).
window_visible() { xdotool search --onlyvisible --name "^Halvix  " >/dev/null 2>&1; }
window_hidden() { ! window_visible; }

now() { date +%s.%N; }
# seconds_between A B: B - A, to the millisecond.
seconds_between() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
within() { awk -v x="$1" -v lo="$2" -v hi="$3" 'BEGIN { exit !(x >= lo && x <= hi) }'; }
# sleep_until EPOCH: sleeps until the real clock reaches EPOCH (at once when it has).
sleep_until() {
    local left
    left=$(awk -v t="$1" -v n="$(now)" 'BEGIN { printf "%.3f", t - n }')
    awk -v l="$left" 'BEGIN { exit !(l > 0) }' && sleep "$left"
    return 0
}

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

# copy_program_folder FROM TO: a fresh copy of a program folder, to run and change.
copy_program_folder() {
    rm -rf "$2"
    cp -a "$1/." "$2"
}

# daily_spring DIR [SCHOOL_WEEK]: the daily timetable of the spring term, school week SCHOOL_WEEK
# as xqno.txt holds it (default 1125: Monday to Friday; 0: no school-week day).
daily_spring() {
    echo "${2:-1125}" >"$1/xqno.txt"
    sqlite3 "$1/jbase.mdb" "delete from lxtime; insert into lxtime values ('1');
        delete from jjtime; insert into jjtime values ('1');"
}

# plan_every_day DIR "TIME SOUND [EVENT]"...: the same plan in every daily table, so any weekday
# rings it.
plan_every_day() {
    local dir=$1 sql="" table row number=0 values="" sound event
    shift
    for row in "$@"; do
        number=$((number + 1))
        read -r _ sound event <<<"$row"
        values+="${values:+,}('$number', '', '${row%% *}', '$event', '$sound', '待完', '')"
    done
    for table in cjtime zccjtime qjtime zcqjtime fridtime sundaytime; do
        sql+="delete from $table; insert into $table values $values;"
    done
    # On standard input: a plan of thousands of rows is longer than a command line may be.
    sqlite3 "$dir/jbase.mdb" <<<"$sql"
}

# The faketime library (the library rather than the faketime wrapper, which would stand between
# the caller and the program's exit status); sets faketime_library.
find_faketime() {
    faketime_library=$(dpkg -L libfaketime 2>/dev/null | grep -m1 '/libfaketime\.so\.1$')
    [ -f "$faketime_library" ] && return 0
    say "libfaketime is not installed"
    return 1
}

# start_program DIR OUTPUT [VARIABLE=VALUE...]: starts DIR/halvix in the background under faketime
# with these settings of its clock and environment, and the arguments in the array program_args
# (none when unset), through the command in the array program_wrapper when set (then program is
# the wrapper); sets program. Monotonic time stays real, or the media pipeline stalls.
start_program() {
    local dir=$1 output=$2
    shift 2
    [ -n "${faketime_library:-}" ] || find_faketime || return 1
    env LD_PRELOAD="$faketime_library" FAKETIME_DONT_FAKE_MONOTONIC=1 "$@" ${program_wrapper[@]+"${program_wrapper[@]}"} \
        "$dir/halvix" ${program_args[@]+"${program_args[@]}"} >"$output" 2>&1 &
    program=$!
}

# start_program_at DIR OUTPUT "YYYY-MM-DD HH:MM:SS" [VARIABLE=VALUE...]: the program's clock at that
# local time, a fixed whole number of seconds from the real clock, so the real moment of every
# faked second is known; sets program, offset (faked minus real seconds) and launched (the real
# start).
start_program_at() {
    offset=$(($(date -d "$3" +%s) - $(date +%s)))
    launched=$(now)
    start_program "$1" "$2" FAKETIME="$(printf '%+ds' "$offset")" "${@:4}"
}
program_ended() { ! kill -0 "$program" 2>/dev/null; }

# ---- Writes that survive a power cut ----------------------------------------------------------------

# write_tracer FILE: sets program_wrapper to a tracer of the calls durable_writes.py judges (file
# writes, flushes, renames, links and removals, in every thread and child) into FILE.
write_tracer() {
    program_wrapper=(strace -f -y -s 4096 --seccomp-bpf -o "$1"
        -e trace=openat,write,pwrite64,writev,sendfile,copy_file_range,ftruncate,fsync,fdatasync,rename,renameat,renameat2,link,linkat,unlink,unlinkat)
}
# traced_program: the pid of the program a tracer started (the tracer's child); empty when none.
traced_program() { pgrep -P "$1" 2>/dev/null | head -1; }
# durable_writes --root DIR... TRACE...: durable_writes.py on the traces.
durable_writes() { python3 "$HALVIX_LIB/durable_writes.py" "$@"; }

# quit_timed PID [COMMAND...]: asks PID, a child of this shell, to end with COMMAND (default: kill
# -TERM PID) and waits for its end, at most 30 s; sets quit_seconds (from the request to the end,
# to a tenth of a second) and quit_status (the exit status, or "still running").
quit_timed() {
    local pid=$1 asked
    shift
    [ $# -gt 0 ] || set -- kill -TERM "$pid"
    asked=$(now)
    "$@" 2>/dev/null
    if wait_for 30 eval "! kill -0 $pid 2>/dev/null"; then
        quit_seconds=$(seconds_between "$asked" "$(now)")
        wait "$pid"
        quit_status=$?
    else
        quit_seconds=30 quit_status="still running"
    fi
}

# measured_copy BUILD_DIR NAME "TIME SOUND"...: for the measuring scripts: sets build and work
# (/tmp/halvix-NAME-*, removed at exit with the program and the services this run started),
# starts the missing services and copies BUILD_DIR/app to $work/app with these entries in every
# day's plan (daily spring, no school-week day).
measured_copy() {
    build=$(cd "$1" && pwd)
    [ -x "$build/app/halvix" ] || { say "no program in $build/app"; exit 1; }
    work=$(mktemp -d "/tmp/halvix-$2-XXXXXX")
    program=""
    trap '[ -n "$program" ] && kill "$program" 2>/dev/null; stop_services; rm -rf "$work"' EXIT
    start_missing_services
    copy_program_folder "$build/app" "$work/app"
    daily_spring "$work/app" 0
    plan_every_day "$work/app" "${@:3}"
}
# Starts the copy in $work/app at the real time, its output dropped; sets program.
start_measured() {
    "$work/app/halvix" >/dev/null 2>&1 &
    program=$!
}
# Asks the program to end and waits for it.
end_program() {
    kill -TERM "$program"
    wait "$program" || say "program ended with status $?"
    program=""
}
