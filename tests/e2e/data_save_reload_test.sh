#!/usr/bin/env bash
# A plan saved in 数据 rings at once. The real executable starts from a copy of the program folder
# on Wednesday 12 March 2025 at 09:00:00 with one entry at 09:30:00 (zccjtime). Over the
# accessibility bus, as a screen reader would, the test opens 设置 → 数据, chooses 春季 星期2--4,
# imports a CSV file as a spreadsheet writes it (one-digit hour: 9:00:40) that moves the entry to
# about 35 seconds ahead and plays 下课.mp3, and presses 保存. Checks, with the dialogs still open,
# that the table holds the time with its leading zero, that the main window's list shows the new
# time and its status line says the plan was read again; then, by the recorded sink, that 下课.mp3
# rings at the new second.
#
# Needs a display with a tray host, a PulseAudio server and a session bus (scripts/test.sh starts
# them); brings its own when run alone. Environment: HALVIX_APP_DIR, HALVIX_BUILD_DIR (the
# recording and the program's output go to e2e-artifacts/).
set -uo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ensure_services
wednesday_entry 09:30:00 上课.mp3
launch_recorded "2025-03-12 09:00:00" "$artifacts/data-save-program-output.txt"
wait_for 60 window_visible || fail "the window never appeared"
a11y wait

# --- 设置 → 数据, the table of 春季 星期2--4 --------------------------------------------------------
# The window goes into the tray about six seconds after it appears; brought back, it stays on
# screen behind the dialogs, where its list and status line can be read.
wait_for 30 window_hidden || fail "the window did not go into the tray"
if wait_for 90 open_from_main 设置 && wait_for 30 a11y shown 时间设置 &&
    wait_for 10 a11y press 时间设置 button 数据 && wait_for 30 a11y shown 数据管理; then
    pass "设置 → 数据 opened 数据管理"
else
    fail "no data dialog"
    finish data-save-
fi
# The first 星期2--4 is 春季's (the dialog's order): zccjtime, Wednesday's table.
wait_for 10 a11y click 星期2--4 || fail "no 星期2--4 to choose"

# --- Import a spreadsheet's file: the entry about 35 s ahead, its hour of one digit ---------------
faked_now=$(($(date +%s) + offset))
entry_epoch=$((faked_now + 35))
typed_time=$(date -d "@$entry_epoch" +%-H:%M:%S)
stored_time=$(date -d "@$entry_epoch" +%H:%M:%S)
[ "${typed_time%%:*}" -lt 10 ] || fail "the test ran past 10:00 on the program's clock: $typed_time"
printf '序号,日期,时间,事件,声音,状态,备注,\r\n1,星期三,%s,第一节下课,下课.mp3,待完,,\r\n' "$typed_time" |
    iconv -f utf-8 -t gb18030 >"$work/plan.csv"
if a11y press 数据管理 button 导入 && wait_for 30 a11y shown 打开; then
    sleep 1 # the file name field takes the keys once the dialog has listed the folder
    xdotool type --delay 30 "$work/plan.csv" && xdotool key Return
    wait_for 30 window_gone 打开 || fail "the file dialog stayed open"
else
    fail "导入 opened no file dialog"
fi

wait_for 10 a11y press 数据管理 button 保存 || fail "no 保存 in 数据管理"
saved=$(now)
boxes=$(a11y boxes 2)
[[ "$boxes" == *"已保存!"* ]] && pass "保存 said 已保存!" || fail "the boxes after 保存: $boxes"

# --- At once, with the dialogs open: the table, the list, the status line -------------------------
stored=$(sqlite3 "$app/jbase.mdb" "select 时间, 声音 from zccjtime")
[ "$stored" = "$stored_time|下课.mp3" ] && pass "zccjtime holds $typed_time as $stored_time" ||
    fail "zccjtime holds '$stored', not '$stored_time|下课.mp3'"
list_shows_new_time() { [ "$(a11y plan | awk -F'\t' 'NR == 1 { print $3 "|" $5 }')" = "$stored_time|下课.mp3" ]; }
if wait_for 10 list_shows_new_time; then
    pass "the list shows the saved entry $(seconds_between "$saved" "$(now)") s after 保存"
else
    fail "the list shows: $(a11y plan | head -3)"
fi
texts=$(a11y texts)
if [[ "$texts" == *"已保存, 今日计划已重新载入"* ]]; then
    pass "the status line says the plan was read again"
else
    fail "no word of the reload in the main window: $(grep -E '保存|载入|计划' <<<"$texts")"
fi
before_entry=$(awk -v e="$entry_epoch" -v o="$offset" -v n="$(now)" 'BEGIN { printf "%.1f", e - o - n }')
awk -v b="$before_entry" 'BEGIN { exit !(b > 2) }' || fail "the steps took until ${before_entry} s before the entry"
close_window 数据管理 || fail "the data dialog does not close"
close_window 时间设置 取消 || fail "the settings dialog does not close"

# --- It rings at the new second ---------------------------------------------------------------------
entry_real=$((entry_epoch - offset))
entry_sound_heard "$app/voic/下课.mp3"

kill -TERM "$program"
ends_cleanly "SIGTERM"

finish data-save-
