#!/usr/bin/env bash
# The window program does not end or start an alarm by accident, and shows an emergency plainly. On
# Wednesday 12 March 2025 the plan rings 上课.mp3 at 10:00:25 and at 10:05:00; the program starts at
# 10:00:00 under the real display, worked with the keyboard and over the accessibility bus:
#   - Esc in the main window asks "今天还有 2 个铃声未响, ..."; the question stays open across
#     10:00:25 and the entry is heard on the sink all the same; Esc on the question keeps the program;
#   - the tray's 关闭 asks (one left now); Enter on the question (取消 is the default) keeps it;
#   - the tray's 紧急广播 ▸ 警报.wav asks, naming the sound: Esc starts nothing, 确定 starts it;
#     the main window shows the red banner (a screenshot among the artifacts), whose 解除紧急广播
#     asks and clears it;
#   - Esc in the data dialog with a row deleted asks 保存/放弃/取消: 取消 keeps the dialog and the
#     edit, 放弃 closes it with the table as stored;
#   - the tray's 关闭 confirmed ends the program cleanly.
# Environment: HALVIX_APP_DIR, HALVIX_BUILD_DIR.
set -uo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
ensure_services

wednesday_entry 10:00:25 上课.mp3
sqlite3 "$app/jbase.mdb" "insert into zccjtime values ('2', '星期三', '10:05:00', '第二节上课', '上课.mp3', '待完', '');" ||
    exit 1
# 上课.mp3 and the alarm alone, so that 紧急广播's menu lists them in this order.
find "$app/voic" -mindepth 1 -maxdepth 1 ! -name 上课.mp3 -exec rm -rf {} +
sox -n -r 44100 -c 2 "$app/voic/警报.wav" synth 1.3 sine 2000 vol 0.5 || exit 1
launch_recorded "2025-03-12 10:00:00" "$artifacts/window-questions-output.txt"
wait_for 60 window_visible && a11y wait || fail "the window did not appear"

# shown_text TEXT: some window or box of the program shows TEXT.
shown_text() { a11y texts | grep -F -- "$1" >/dev/null; }
# key_to_main KEY: the main window, brought back from the tray, takes the focus and KEY.
key_to_main() {
    local id
    show_main_window || return 1
    id=$(xdotool search --onlyvisible --name "^$main_window_title" | head -1)
    [ -n "$id" ] && xdotool windowfocus --sync "$id" && sleep 0.3 && xdotool key "$1"
}
still_runs() { kill -0 "$program" 2>/dev/null; }
emergency_now() { env -u DISPLAY "$app/halvix" emergency 2>&1; }

# --- Esc with two entries left: asked; the question open across 10:00:25, the entry rings -------
close_question="今天还有 2 个铃声未响, 关闭后将不再响铃。确定关闭?"
if key_to_main Escape && wait_for 10 shown_text "$close_question"; then
    pass "Esc asked: $close_question"
else
    fail "Esc in the main window did not ask '$close_question'"
fi
entry_sound_heard "$app/voic/上课.mp3"
shown_text "$close_question" && pass "the question was still open after the entry" ||
    fail "the question closed by itself"
xdotool key Escape
wait_for 10 eval '! shown_text "$close_question"' || fail "Esc did not close the question"
sleep 1
still_runs && pass "Esc on the question kept the program" || fail "Esc on the question ended the program"

# --- The tray's 关闭 with one entry left: Enter answers 取消 ------------------------------------
one_left="今天还有 1 个铃声未响, 关闭后将不再响铃。确定关闭?"
if tray_pick Up Return && wait_for 10 shown_text "$one_left"; then
    pass "the tray's 关闭 asked: $one_left"
    xdotool key Return
    wait_for 10 eval '! shown_text "$one_left"' && sleep 1 && still_runs &&
        pass "Enter on the question (取消 is the default) kept the program" || fail "Enter on the close question ended the program"
else
    fail "the tray's 关闭 did not ask '$one_left'"
fi

# --- The tray's 紧急广播 ▸ 警报.wav asks; the banner shows it and clears it --------------------------
alarm_question="确定在所有区域播放紧急广播 “警报.wav”?"
# 紧急广播 is the sixth item; its menu lists 上课.mp3, 警报.wav.
pick_alarm() { tray_pick Down Down Down Down Down Down Right Down Return && wait_for 10 shown_text "$alarm_question"; }
if pick_alarm; then
    pass "紧急广播 asked: $alarm_question"
    xdotool key Escape
    sleep 1
    [ "$(emergency_now)" = 没有紧急广播 ] && pass "Esc on the question started nothing" || fail "Esc started: $(emergency_now)"
else
    fail "the tray's 紧急广播 did not ask '$alarm_question'"
fi
if pick_alarm && { a11y press 紧急广播 button 确定 || a11y press 紧急广播 button OK; } &&
    wait_for 10 eval '[ "$(emergency_now)" = "紧急广播中: 警报.wav" ]'; then
    started=$(($(date +%s) + offset)) # on the program's clock
    pass "confirmed: $(emergency_now)"
else
    fail "confirming 紧急广播 did not start it: $(emergency_now)"
fi
if show_main_window && wait_for 10 a11y has "$main_window_title" button 解除紧急广播; then
    banner=$(a11y texts | grep -F '紧急广播中  警报.wav  开始于' | head -1)
    began=$(date -d "2025-03-12 ${banner##* }" +%s 2>/dev/null || echo 0)
    within "$((began - ${started:-0}))" -3 1 && pass "the banner says: $banner" ||
        fail "the banner says '$banner', started at $(date -d "@${started:-0}" +%T)"
    id=$(xdotool search --onlyvisible --name "^$main_window_title" | head -1)
    sleep 1 && import -window "$id" "$artifacts/emergency-banner.png" && pass "screenshot $artifacts/emergency-banner.png"
    a11y press "$main_window_title" button 解除紧急广播
    if wait_for 10 a11y shown 解除紧急广播 && { a11y press 解除紧急广播 button 确定 || a11y press 解除紧急广播 button OK; } &&
        wait_for 10 eval '[ "$(emergency_now)" = 没有紧急广播 ]'; then
        pass "the banner's 解除紧急广播 asked and cleared it"
    else
        fail "the banner's 解除紧急广播: $(emergency_now)"
    fi
    wait_for 10 eval '! a11y has "$main_window_title" button 解除紧急广播' && pass "the banner is gone" || fail "the banner stays"
else
    fail "no banner with 解除紧急广播 in the main window"
fi

# --- The data dialog: Esc with a row deleted asks ----------------------------------------------
save_question="数据已修改但尚未保存。"
if wait_for 30 open_from_main 设置 && wait_for 30 a11y shown 时间设置 && a11y press 时间设置 button 数据 &&
    wait_for 30 a11y shown 数据管理; then
    a11y click "星期2--4" && sleep 1
    a11y rowclick 数据管理 0 && wait_for 10 a11y shown 删除 && { a11y press 删除 button 确定 || a11y press 删除 button OK; }
    sleep 1
    xdotool key Escape
    if wait_for 10 shown_text "$save_question"; then
        pass "Esc in the data dialog with a row deleted asked: $save_question"
        a11y press 数据管理 button 取消 && sleep 1
        a11y shown 数据管理 && ! shown_text "$save_question" && pass "取消 kept the dialog" || fail "取消 did not keep the dialog"
        xdotool key Escape
        wait_for 10 shown_text "$save_question" && a11y press 数据管理 button 放弃 && wait_for 10 window_gone 数据管理 &&
            pass "放弃 closed the dialog" || fail "放弃 did not close the data dialog"
    else
        fail "Esc in the data dialog with a row deleted did not ask"
    fi
    [ "$(sqlite3 "$app/jbase.mdb" 'select count(*) from zccjtime')" = 2 ] && pass "the table is as stored" ||
        fail "the table changed: $(sqlite3 "$app/jbase.mdb" 'select * from zccjtime')"
    close_window 时间设置 取消 || fail "the settings dialog does not close"
else
    fail "no data dialog"
fi

# --- The tray's 关闭, confirmed, ends the program ------------------------------------------------
if tray_pick Up Return && wait_for 10 shown_text "$one_left" && { a11y press 关闭 button 确定 || a11y press 关闭 button OK; }; then
    ends_cleanly "the tray's 关闭, confirmed"
else
    fail "the tray's 关闭 did not ask before ending"
fi

ring_log_rows "计划时间, 结果"
[[ "$rows" == "10:00:25|已响铃"* ]] && pass "the entry under the open question was logged 已响铃" || fail "ring log: $rows"
finish window-questions
