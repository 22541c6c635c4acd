#!/usr/bin/env bash
# The settings dialog in the whole program: the real executable starts from a copy of the program
# folder on Wednesday 12 March 2025. Over the accessibility bus, as a screen reader would, the test
# presses the main window's 设置, reads the stored week beside the weekday boxes, ticks only 开机自启动
# and presses 保存: the autostart entry is written at the tick, and sjtime, settable and xqno.txt
# stay as they were on disk. Then it opens 设置 again, shows the dialog's lower half, ticks 星期一 and then 星期五, takes
# today as the exam date (focus into its picker and out) and presses 保存. Checks that the dialog
# closes, that sjtime then holds exactly the exam announcements of the 春季半期 timetable on 3月12日
# (化学 on the second day, 3月13日) with the stored procedure settings, that settable holds those settings as
# its one row, that xqno.txt holds 1125 and that the timetable file is written back with the same
# times; then that SIGTERM ends the program with status 0.
#
# Needs a display with a tray host, a PulseAudio server and a session bus (scripts/test.sh starts
# them); brings its own when run alone. Environment: HALVIX_APP_DIR, HALVIX_BUILD_DIR (the
# dialog's screenshot and the program's output go to e2e-artifacts/).
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/common.sh"

dialog=时间设置
dialog_shown() { a11y shown "$dialog"; }
dialog_closed() { ! xdotool search --onlyvisible --name "^$dialog\$" >/dev/null 2>&1; }
# in_dialog COMMAND ROLE NAME...: polls until the dialog's control is there and the command worked.
in_dialog() { wait_for 60 a11y "$1" "$dialog" "${@:2}"; }
picker_shows() { [ "$(a11y read "$dialog" picker "$1")" = "$2" ]; }

# --- A program folder whose stored state differs from what the save writes ----------------------
ensure_services
copy_app
# The 春季半期 timetable on one line: the save writes it back one time a line.
timetable=$app/tovk/cbhtime.txt
timetable_times=$(tr -s ' \r\n' ' ' <"$timetable")
echo "$timetable_times" >"$timetable"
echo 37 >"$app/xqno.txt"
# Procedure settings of this school: grade 8 has no listening test. A second, stale row must go.
sqlite3 "$app/jbase.mdb" "delete from settable;
    insert into settable values ('12', '1', '9', '4', '2', '3', '6', '20');
    insert into settable values ('1', '1', '1', '1', '1', '1', '1', '1');
    delete from sjtime;
    insert into sjtime values ('1', '6月1日', '08:00', '开始答题', 'h05开始答题.mp3', '待完', '语文');" ||
    exit 1

# The 春季半期 timetable (cbhtime.txt) with intervals 4, 2, 3, 6 (15 minutes from 组织进入考场 to
# 开始答题), countdown 20 and listening 12, 1, 9, in generation order: subject by subject, steps in
# procedure order (settings_save_sjtime.txt). D1 and D2 stand for the two exam days.
expected_rows=$(cat "$here/settings_save_sjtime.txt")

# The expected rows as sqlite3 prints sjtime: numbered from 1, dates filled in, all 待完.
expected_sjtime() {
    sed -e 's/^D1|/3月12日|/' -e 's/^D2|/3月13日|/' <<<"$expected_rows" |
        awk -F'|' -v OFS='|' '{ print NR, $1, $2, $3, $4, "待完", $5 }'
}

# --- Open the settings from the main window -------------------------------------------------------
# The autostart entry goes to a configuration folder of the test's own.
start_program_at "$app" "$artifacts/settings-program-output.txt" "2025-03-12 09:00:00" \
    QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 XDG_CONFIG_HOME="$work/config"
if ! wait_for 60 window_visible; then
    fail "the main window never appeared"
    finish settings-program-output
fi
# The window goes into the tray about six seconds after the start; a double click brings it back.
press_settings() {
    show_main_window || return 1
    a11y press "$main_window_title" button 设置
}
if wait_for 90 press_settings && wait_for 30 dialog_shown; then
    pass "设置 in the main window opened the dialog $dialog"
else
    fail "设置 did not open the dialog $dialog"
    finish settings-program-output
fi

# --- Only 开机自启动, then 保存: nothing else is written ---------------------------------------------
stored_state() {
    sqlite3 "$app/jbase.mdb" "select * from sjtime; select * from settable"
    cat "$app/xqno.txt"
}
state_before=$(stored_state)
in_dialog press button 隐藏
week_shown() { a11y names "$dialog" | grep -qx "label	当前: 第一天 未设定, 最后一天 星期日"; }
if wait_for 30 week_shown; then
    pass "the stored week 37 shows beside the boxes"
else
    fail "no stored week beside the boxes: $(a11y names "$dialog" | grep 当前)"
fi
in_dialog press check 开机自启动
if wait_for 10 test -f "$work/config/autostart/halvix.desktop"; then
    pass "ticking 开机自启动 wrote the autostart entry"
else
    fail "no autostart entry after ticking 开机自启动"
fi
in_dialog press button 保存
if wait_for 30 dialog_closed; then
    pass "保存 closed the dialog"
else
    fail "the dialog is still open after 保存"
fi
state_after=$(stored_state)
if [ "$state_after" = "$state_before" ]; then
    pass "sjtime, settable and xqno.txt unchanged by a save of 开机自启动 alone"
else
    fail "a save of 开机自启动 alone changed the stored state (< before, > after):"
    diff <(echo "$state_before") <(echo "$state_after")
fi
if wait_for 90 press_settings && wait_for 30 dialog_shown; then
    pass "设置 opened the dialog again"
else
    fail "设置 did not open the dialog again"
    finish settings-program-output
fi

# The timetable of 春季半期 and today's date, as a screen reader reads them.
if wait_for 30 picker_shows "语文 开始" 08:30 && picker_shows "化学 结束" 17:00 &&
    picker_shows 语文 03月12日 && picker_shows 化学 03月12日; then
    pass "the pickers show 春季半期's times and today's date"
else
    fail "语文 shows $(a11y read "$dialog" picker 语文) from $(a11y read "$dialog" picker "语文 开始")," \
        "化学 $(a11y read "$dialog" picker 化学) to $(a11y read "$dialog" picker "化学 结束")"
fi

# --- The lower half: school week and exam date ---------------------------------------------------
in_dialog press button 显示 # the button says what a click will do
in_dialog press check 星期一 && in_dialog has check "星期一  1" &&
    in_dialog press check 星期五 && in_dialog has check "星期五  2"
if a11y has "$dialog" check "星期一  1" && a11y has "$dialog" check "星期五  2"; then
    pass "星期一 and 星期五 ticked, in that order"
else
    fail "the weekday boxes read: $(a11y names "$dialog" | awk -F'\t' '/星期/ { printf "%s; ", $2 }')"
fi

# The exam date (today) is taken when its picker loses the focus: 春季半期 examines 化学 a day later.
in_dialog leave picker 考试日期
if wait_for 30 picker_shows 化学 03月13日 && picker_shows 语文 03月12日; then
    pass "exam date 12 March: 语文 on 03月12日, 化学 on 03月13日"
else
    fail "after the exam date 语文 shows $(a11y read "$dialog" picker 语文), 化学 $(a11y read "$dialog" picker 化学)"
fi

dialog_window=$(xdotool search --onlyvisible --name "^$dialog\$" 2>/dev/null | head -1)
if [ -n "$dialog_window" ] && import -window "$dialog_window" "$artifacts/settings-dialog.png" 2>/dev/null; then
    pass "screenshot $artifacts/settings-dialog.png"
else
    fail "no screenshot of the dialog"
fi

# --- 保存 -----------------------------------------------------------------------------------------
in_dialog press button 保存
if wait_for 30 dialog_closed; then
    pass "保存 closed the dialog"
else
    fail "the dialog is still open after 保存"
fi

sjtime=$(sqlite3 "$app/jbase.mdb" "select * from sjtime order by rowid")
if [ "$sjtime" = "$(expected_sjtime)" ]; then
    pass "sjtime holds the $(wc -l <<<"$sjtime") announcements of 3月12日 and 3月13日"
else
    fail "sjtime differs from the expected rows (< stored, > expected):"
    diff <(echo "$sjtime") <(expected_sjtime)
fi

settable=$(sqlite3 "$app/jbase.mdb" "select * from settable")
if [ "$settable" = "12|1|9|4|2|3|6|20" ]; then
    pass "settable holds the eight settings as its one row"
else
    fail "settable holds: $settable"
fi

school_week=$(cat "$app/xqno.txt")
if [ "$school_week" = 1125 ]; then
    pass "xqno.txt holds 1125 (星期一 to 星期五)"
else
    fail "xqno.txt holds '$school_week'"
fi

if [ "$(tr -d '\r' <"$timetable")" = "$(tr -s ' ' '\n' <<<"$timetable_times" | grep .)" ]; then
    pass "cbhtime.txt written back with its eighteen times, one a line"
else
    fail "cbhtime.txt holds: $(tr -s '\r\n' ' ' <"$timetable")"
fi

# --- A clean end on request -------------------------------------------------------------------------
kill -TERM "$program"
ends_cleanly "SIGTERM"

finish settings-program-output
