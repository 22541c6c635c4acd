#!/usr/bin/env bash
# Nothing else the window program opens and closes drops its locks on the ring log. Wednesday 12
# March 2025 from 10:00:00, started from its own folder (the file dialogs then list ringlog.db, its
# -wal and its -shm), with an entry at 09:00 that passed before the start (logged 未运行 at once)
# and one at 10:02:00. Each file dialog of the program (数据 → 导入, 数据 → 导出, 校历 → 导出) is
# opened and cancelled: the program still holds every lock it held on ringlog.db. `halvix log` from
# outside reads the log and leaves the program's -wal in place; the 10:02:00 entry rings and its row
# reaches `halvix log` at once. Killed with SIGKILL and started again two minutes later, the program
# still has every row that was logged, and 10:02:00 has one row, 已响铃 (not 未运行).
#
# Needs a display with a tray host, a PulseAudio server and a session bus; brings its own when run
# alone. Environment: HALVIX_APP_DIR, HALVIX_BUILD_DIR.
set -uo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ensure_services

# lock_lines FILE: the locks any process holds on FILE, as /proc/locks lists them by its inode.
lock_lines() {
    local major minor inode
    read -r major minor inode < <(stat -c '%Hd %Ld %i' "$1") || return
    awk -v id="$(printf '%02x:%02x:%s' "$major" "$minor" "$inode")" \
        'index($0, " " id " ") { $1 = ""; print }' /proc/locks | sort
}
# The ring log as the command line lists it, outside the program.
logged() { env -u DISPLAY "$app/halvix" log --since 2025-03-12 2>&1; }
# A wal the program writes but nobody else can read any more.
wal_deleted() { ls -l "/proc/$program/fd" 2>/dev/null | grep -q 'ringlog\.db-wal (deleted)'; }

# file_dialog WINDOW BUTTON TITLE: opens the file dialog TITLE with BUTTON of WINDOW, lets it list
# the folder, and cancels it.
file_dialog() {
    if a11y press "$1" button "$2" && wait_for 30 a11y shown "$3"; then
        sleep 3
        close_window "$3" 取消 && pass "$1 → $2: the dialog $3 opened and was cancelled" ||
            fail "$1 → $2: the dialog $3 does not close"
    else
        fail "$1 → $2: no dialog $3"
    fi
}

wednesday_entry 10:02:00 上课.mp3
sqlite3 "$app/jbase.mdb" "insert into zccjtime values ('2', '星期三', '09:00:00', '早读', '下课.mp3', '待完', '');" ||
    exit 1
rm -f "$app"/ringlog.db*
# The dialogs open in the working folder.
cd "$app" || exit 1
launch "2025-03-12 10:00:00" "$artifacts/file-dialogs-output.txt"
wait_for 60 window_visible || fail "the window never appeared"
a11y wait
if wait_for 30 eval '[[ "$(logged)" == *"09:00:00	早读	下课.mp3	未运行	"* ]]'; then
    pass "09:00 logged 未运行 at the start"
else
    fail "09:00 not logged at the start: $(logged)"
fi
held=$(lock_lines "$app/ringlog.db")
[ -n "$held" ] && pass "the program holds $(grep -c . <<<"$held") lock(s) on ringlog.db" ||
    fail "the program holds no lock on ringlog.db"

# --- Every file dialog, opened and cancelled ---------------------------------------------------------
if wait_for 60 open_from_main 设置 && wait_for 30 a11y shown 时间设置; then
    if a11y press 时间设置 button 数据 && wait_for 30 a11y shown 数据管理; then
        file_dialog 数据管理 导入 打开
        file_dialog 数据管理 导出 另存为
        close_window 数据管理 || fail "the data dialog does not close"
    else
        fail "no data dialog"
    fi
    close_window 时间设置 取消 || fail "the settings dialog does not close"
else
    fail "no settings dialog"
fi
if wait_for 60 open_from_main 校历 && wait_for 30 a11y shown 校历; then
    file_dialog 校历 导出 另存为
    close_window 校历 关闭 || fail "the calendar does not close"
else
    fail "no calendar dialog"
fi
after=$(lock_lines "$app/ringlog.db")
[ "$after" = "$held" ] && pass "after the dialogs the program still holds its locks on ringlog.db" ||
    fail "the dialogs changed the locks on ringlog.db: before [$held], after [$after]"

# --- Another process reads the log while the program runs ---------------------------------------------
before_entry=$(logged)
[[ "$before_entry" == *"09:00:00"* ]] && pass "halvix log from outside reads the log" ||
    fail "halvix log: $before_entry"
wal_deleted && fail "halvix log deleted the program's ringlog.db-wal" || pass "the program's -wal is still the file's"
real_entry=$((entry_epoch - offset))
[ "$(date +%s)" -lt "$real_entry" ] || fail "the dialogs took until after the entry at 10:02:00"
sleep_until $((real_entry + 3))
if wait_for 10 eval '[[ "$(logged)" == *"10:02:00	第一节上课	上课.mp3	已响铃	"* ]]'; then
    pass "10:02:00 rang and its row reached halvix log"
else
    fail "the row of 10:02:00 never reached halvix log: $(logged)"
fi
before_kill=$(logged)

# --- Killed, and started again two minutes later ----------------------------------------------------
kill -KILL "$program"
wait "$program" 2>/dev/null
start_program "$app" "$artifacts/file-dialogs-restart-output.txt" FAKETIME="$(printf '%+ds' $((offset + 120)))" \
    QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
wait_for 60 window_visible || fail "the window never appeared after the restart"
# The plan shown: the start has logged what passed while no bell ran.
wait_for 30 eval '[ -n "$(a11y plan)" ]' || fail "no plan after the restart"
sleep 1
after_restart=$(logged)
echo "ring log after the restart:"
sed 's/^/    /' <<<"$after_restart"
missing=$(grep -vxF -f <(printf '%s\n' "$after_restart") <<<"$before_kill")
[ -z "$missing" ] && pass "every row logged before the kill is still there" || fail "rows lost in the kill: $missing"
# The results of 10:02:00, one a line.
entry_results=$(grep '	10:02:00	' <<<"$after_restart" | cut -f5)
[ "$entry_results" = 已响铃 ] && pass "10:02:00 has its one row, 已响铃" ||
    fail "the results of 10:02:00 after the restart: $(tr '\n' ' ' <<<"$entry_results")"
[ "$(grep -c '	09:00:00	' <<<"$after_restart")" -eq 1 ] && pass "09:00 logged once" ||
    fail "09:00 logged $(grep -c '	09:00:00	' <<<"$after_restart") times"
kill -TERM "$program"
wait_for 15 program_ended || fail "the restarted program still runs 15 s after SIGTERM"
program=""

finish file-dialogs-
