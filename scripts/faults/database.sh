# Database faults, sourced by scripts/faults.sh. While the program runs, its jbase.mdb is made
# read-only, locked by another process for longer than the busy timeout, deleted, replaced by
# garbage, or left on a full disk. In each case the scenario clicks 考试 (a write and a reload),
# lets the Wednesday entry ring, moves the clock to the nightly reload, puts the database right
# again, and lets the Thursday entry ring. It reads every message box as a screen reader would
# (and answers OK), judges the sound on the sink, and compares the stored tables with the ones
# before. The data dialog's save under the same faults is checked by tests/ui/FaultTest.cpp.
#
# The dates: Wednesday 17 and Thursday 18 March 2027.

# ---- The program as a screen reader sees it ---------------------------------------------------

# screen_reader wait | click NAME | boxes QUIET_SECONDS (scripts/lib/a11y.py)
#   wait    until the program is on the accessibility bus
#   click   a mouse click on the control with that visible name (a check box's own toggle action
#           would not run the program's click handler)
#   boxes   prints the text of every message box, one line each, pressing OK on it, until none
#           has come for QUIET_SECONDS
screen_reader() { /usr/bin/python3 "$HALVIX_LIB/a11y.py" "$@"; }

# ---- Faults ------------------------------------------------------------------------------------

DB_LOCKER=""
DB_MOUNT=""

# A second process that holds an exclusive transaction until it is ended.
lock_database() {
    local ready=$1.locked
    rm -f "$ready"
    python3 -c '
import sqlite3, sys, time
db = sqlite3.connect(sys.argv[1], isolation_level=None)
db.execute("begin exclusive")
open(sys.argv[2], "w").close()
time.sleep(3600)' "$1" "$ready" &
    DB_LOCKER=$!
    local i
    for i in $(seq 50); do [ -e "$ready" ] && return 0; sleep 0.1; done
    note "the second process could not lock the database"
    return 1
}

# inject_fault KIND DIR
inject_fault() {
    local db=$2/jbase.mdb
    case $1 in
    read-only)
        chmod 444 "$db"
        # The superuser writes whatever the mode says; the immutable flag stops it too.
        [ "$(id -u)" -eq 0 ] && chattr +i "$db"
        ;;
    locked) lock_database "$db" ;;
    deleted) rm -f "$db" ;;
    garbage)
        head -c 20000 /dev/urandom >"$2/garbage.bin"
        cp "$2/garbage.bin" "$db"
        ;;
    full-disk) dd if=/dev/zero of="$DB_MOUNT/filler" bs=4096 >/dev/null 2>&1 ;; # until no space is left
    esac
}

# restore_fault KIND DIR: the database as it was before the fault.
restore_fault() {
    local db=$2/jbase.mdb
    case $1 in
    read-only)
        [ "$(id -u)" -eq 0 ] && chattr -i "$db"
        chmod 644 "$db"
        ;;
    locked)
        kill "$DB_LOCKER" 2>/dev/null
        wait "$DB_LOCKER" 2>/dev/null
        DB_LOCKER=""
        ;;
    deleted | garbage) cp "$2/before.mdb" "$db" ;;
    full-disk) rm -f "$DB_MOUNT/filler" ;;
    esac
}

# Moves the folder's jbase.mdb onto a small tmpfs of its own and links it back, so that the database
# and its journal meet a full disk while the rest of the folder (the recording too) does not. False,
# with the reason in DB_SKIP, where no file system can be mounted.
DB_SKIP=""
database_on_small_disk() {
    DB_SKIP=""
    if [ "$(id -u)" -ne 0 ]; then
        DB_SKIP="needs root to mount a small tmpfs"
        return 1
    fi
    DB_MOUNT=$FAULT_WORK/small-disk
    mkdir -p "$DB_MOUNT"
    if ! mount -t tmpfs -o size=1m tmpfs "$DB_MOUNT" 2>>"$FAULT_LOG"; then
        DB_SKIP="could not mount a tmpfs"
        DB_MOUNT=""
        return 1
    fi
    mv "$1/jbase.mdb" "$DB_MOUNT/jbase.mdb"
    ln -s "$DB_MOUNT/jbase.mdb" "$1/jbase.mdb"
}

# ---- One scenario ------------------------------------------------------------------------------

# Distinct first lines of the messages, joined.
summarise_messages() {
    local text
    text=$(sed 's/ (.*)$//' "$1" | awk 'NF && !seen[$0]++' | paste -sd'|' -)
    echo "${text:-none}"
}

# expect_messages FILE PATTERN|none WHAT: notes and returns false when the messages do not fit.
expect_messages() {
    if [ "$2" = none ]; then
        [ -s "$1" ] || return 0
        note "$3: no message expected, saw: $(summarise_messages "$1")"
        return 1
    fi
    grep -q -- "$2" "$1" && return 0
    note "$3: expected a message with '$2', saw: $(summarise_messages "$1")"
    return 1
}

# database_fault NAME KIND CLICK_MESSAGE NIGHT_MESSAGE
database_fault() {
    local name=$1 kind=$2 click_message=$3 night_message=$4
    FAULT_TZ=Asia/Shanghai
    local dir
    dir=$(program_folder "$name")
    plan_every_day "$dir" "10:00:30 上课.mp3"
    sqlite3 "$dir/jbase.mdb" "delete from kscjtime; insert into kscjtime select * from zccjtime;
        delete from ksqjtime; insert into ksqjtime select * from zccjtime;"
    if [ "$kind" = full-disk ] && ! database_on_small_disk "$dir"; then
        local line
        line=$(printf '%-24s | %-36s | SKIPPED: %s' "$name" "$(injected_text "$kind")" "$DB_SKIP")
        printf '%s\n' "$line"
        SUMMARY_ROWS+=("$line")
        return 0
    fi
    cp "$dir/jbase.mdb" "$dir/before.mdb"
    sqlite3 "$dir/jbase.mdb" .dump >"$FAULT_WORK/$name-before.sql"
    [ -n "${DBUS_SESSION_BUS_ADDRESS:-}" ] || start_session_bus
    export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1

    local ok=yes intact=yes
    program_start "$dir" "2027-03-17 10:00:00"
    screen_reader wait || ok=no
    inject_fault "$kind" "$dir"
    # Before the window goes into the tray (five seconds after the first tick).
    local clicked=yes
    screen_reader click 考试 2>>"$FAULT_LOG" || { clicked=no; ok=no; }
    screen_reader boxes 7 >"$FAULT_WORK/$name-click.txt" 2>>"$FAULT_LOG"
    expect_messages "$FAULT_WORK/$name-click.txt" "$click_message" "clicking 考试" || ok=no
    wait_for_fake "2027-03-17 10:00:45"

    set_fake_clock "$(fake_epoch "2027-03-18 01:00:55")"
    wait_for_fake "2027-03-18 01:01:01"
    screen_reader boxes 7 >"$FAULT_WORK/$name-night.txt" 2>>"$FAULT_LOG"
    expect_messages "$FAULT_WORK/$name-night.txt" "$night_message" "the nightly reload" || ok=no

    # Whatever the program did meanwhile, the file is as the fault left it.
    if [ "$kind" = deleted ] && [ -e "$dir/jbase.mdb" ]; then
        intact=no
        note "a new jbase.mdb was made in place of the deleted one"
    fi
    if [ "$kind" = garbage ] && ! cmp -s "$dir/garbage.bin" "$dir/jbase.mdb"; then
        intact=no
        note "the program wrote over the damaged file"
    fi

    # Put right at night: the quiet retry must give Thursday its plan within about a minute.
    restore_fault "$kind" "$dir"
    sleep 65
    set_fake_clock "$(fake_epoch "2027-03-18 10:00:15")"
    wait_for_fake "2027-03-18 10:00:45"
    screen_reader boxes 2 >"$FAULT_WORK/$name-after.txt" 2>>"$FAULT_LOG"
    expect_messages "$FAULT_WORK/$name-after.txt" none "after the database was put right" || ok=no
    program_stop

    sqlite3 "$dir/jbase.mdb" .dump >"$FAULT_WORK/$name-after.sql" 2>>"$FAULT_LOG"
    if ! cmp -s "$FAULT_WORK/$name-before.sql" "$FAULT_WORK/$name-after.sql"; then
        intact=no
        note "stored tables changed: $(diff "$FAULT_WORK/$name-before.sql" "$FAULT_WORK/$name-after.sql" | head -5)"
    fi
    [ "$(sqlite3 "$dir/jbase.mdb" 'pragma integrity_check' 2>&1)" = ok ] || { intact=no; note "integrity check failed"; }
    [ -n "$DB_MOUNT" ] && { umount "$DB_MOUNT" 2>/dev/null; DB_MOUNT=""; }

    local failed_before=$FAILED_SCENARIOS
    judge_rings "$name" "ring 2027-03-17 10:00:30" "ring 2027-03-18 10:00:30"
    local rang=yes verdict=PASS
    [ "$FAILED_SCENARIOS" -eq "$failed_before" ] || rang=no
    if [ "$ok" != yes ] || [ "$intact" != yes ]; then
        verdict=FAIL
        [ "$rang" = yes ] && FAILED_SCENARIOS=$((FAILED_SCENARIOS + 1))
    fi
    [ "$rang" = yes ] || verdict=FAIL
    local line
    line=$(printf '%-24s | %-36s | click: %s; night: %s | rang Wed+Thu: %s | data intact: %s | %s' \
        "$name" "$(injected_text "$kind")" "$(summarise_messages "$FAULT_WORK/$name-click.txt")" \
        "$(summarise_messages "$FAULT_WORK/$name-night.txt")" "$rang" "$intact" "$verdict")
    printf '%s\n' "$line"
    SUMMARY_ROWS+=("$line")
}

injected_text() {
    case $1 in
    read-only) echo "jbase.mdb mode 444 (+immutable as root)" ;;
    locked) echo "BEGIN EXCLUSIVE held by a 2nd process" ;;
    deleted) echo "jbase.mdb deleted" ;;
    garbage) echo "jbase.mdb = 20 kB of random bytes" ;;
    full-disk) echo "tmpfs filled to the last byte" ;;
    esac
}

db_read_only() { database_fault db_read_only read-only "只读" none; }
db_locked() { database_fault db_locked locked "占用" "占用"; }
db_deleted() { database_fault db_deleted deleted "找不到" "数据库已丢失!"; }
db_garbage() { database_fault db_garbage garbage "不是数据库" "不是数据库"; }
db_full_disk() { database_fault db_full_disk full-disk "磁盘已满" none; }

add_scenario db_read_only db_read_only
add_scenario db_locked db_locked
add_scenario db_deleted db_deleted
add_scenario db_garbage db_garbage
add_scenario db_full_disk db_full_disk
