#!/usr/bin/env bash
# The screenshots of the README (docs/*.png), taken from the real program under a 1280x800 virtual
# display: the main window, the settings dialog (时间设置, lower half shown), the data dialog
# (数据管理), a message box over it, the calendar (校历), the tray menu and the ring log (响铃记录);
# then the central's 校园 window, fed by its test with three buildings' status messages.
# The program runs from a copy of the program folder of BUILD (default build), on a school-day
# morning ten seconds before an entry, so that the ring log has a row; under the caller's LANG (the
# windows look the same under any).
#
#   scripts/screenshots.sh [BUILD]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/program.sh"
cd "$HALVIX_ROOT"
build=${1:-build}
[ -x "$build/app/halvix" ] || { say "no program in $build/app: build first"; exit 1; }

work=$(mktemp -d /tmp/halvix-shots-XXXXXX)
program=""
finish() {
    [ -n "$program" ] && kill -TERM "$program" 2>/dev/null
    stop_services
    rm -rf "$work"
}
trap finish EXIT
# Always a display of our own: the screenshots must not show someone's desktop.
start_display
start_tray_host
start_sound_server
start_session_bus
export TZ=Asia/Shanghai

a11y() { timeout 30 /usr/bin/python3 "$HALVIX_LIB/a11y.py" "$@" 2>/dev/null; }
# shoot TITLE FILE: the top window whose title begins with TITLE, as docs/FILE.
shoot() {
    local id
    id=$(xdotool search --onlyvisible --name "^$1" | tail -1)
    [ -n "$id" ] || { say "no window $1"; return 1; }
    sleep 1 # let it paint
    import -window "$id" "docs/$2"
    say "docs/$2"
}
# shoot_screen FILE: the whole display, for what has no window of its own (a menu) or is best seen
# over its window (a message box).
shoot_screen() {
    sleep 1
    import -window root "docs/$1"
    say "docs/$1"
}

copy_program_folder "$build/app" "$work/app"
# The folder's own name shows in the title bar: a neutral one.
mv "$work/app" "$work/halvix" && app=$work/halvix
# A term's calendar, so that the window's line and the month view show what it decides.
sqlite3 "$app/jbase.mdb" "create table if not exists calendar (开始日期 TEXT, 结束日期 TEXT, 类型 TEXT, 参数 TEXT, 备注 TEXT);
    delete from calendar; insert into calendar values
    ('2025-02-17', '2025-07-11', '春季', '', '春季学期'),
    ('2025-03-17', '2025-03-19', '考试', '', '期中考试'),
    ('2025-04-04', '2025-04-06', '停铃', '', '清明节'),
    ('2025-04-27', '2025-04-27', '调休', '1', '补五一'),
    ('2025-05-01', '2025-05-05', '停铃', '', '劳动节');"
start_program_at "$app" "$work/output.txt" "2025-03-12 07:57:20" HOME="$work" QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
wait_for 60 window_visible || { say "the window did not appear"; cat "$work/output.txt"; exit 1; }
a11y wait
shoot "$main_window_title" main-window.png

# The window goes into the tray after a few seconds; a double click on the icon brings it back.
show_window() {
    window_visible && return 0
    local host icon
    for host in $(xdotool search --class trayer 2>/dev/null); do
        icon=$(xwininfo -tree -id "$host" 2>/dev/null | awk '/\("halvix" / { print $1; exit }')
        [ -n "$icon" ] && xdotool mousemove --window "$icon" 8 8 click --repeat 2 --delay 60 1
    done
    wait_for 10 window_visible
}
open_from_main() { show_window && a11y press "$main_window_title" button "$1"; }

if wait_for 60 open_from_main 设置 && wait_for 30 a11y shown 时间设置; then
    a11y press 时间设置 button 显示 # the lower half: exam procedure and school week
    shoot 时间设置 settings-dialog.png
    if a11y press 时间设置 button 数据 && wait_for 30 a11y shown 数据管理; then
        a11y click "星期2--4" # a mouse click loads a table into the list
        shoot 数据管理 data-dialog.png
        a11y press 数据管理 button 保存 # the copy's table saved as it is: "已保存!"
        shoot_screen message-box.png
        a11y boxes 2 >/dev/null
        xdotool key Escape
    fi
    wait_for 10 a11y shown 时间设置 && a11y press 时间设置 button 取消
fi

if wait_for 60 open_from_main 校历 && wait_for 30 a11y shown 校历; then
    shoot 校历 calendar-dialog.png
    a11y press 校历 button 关闭
else
    say "no calendar dialog: no screenshot"
fi

# The tray menu (a right click on the icon), then its 响铃记录 (the fourth item).
tray_menu() {
    local host icon
    for host in $(xdotool search --class trayer 2>/dev/null); do
        icon=$(xwininfo -tree -id "$host" 2>/dev/null | awk '/\("halvix" / { print $1; exit }')
        [ -n "$icon" ] && xdotool mousemove --window "$icon" 8 8 click 3 && return 0
    done
    return 1
}
# The menu is one more visible window of the program's; a click while it is busy may be missed.
visible_windows() { xdotool search --onlyvisible --class halvix 2>/dev/null | wc -l; }
menu_opened() {
    local before
    before=$(visible_windows)
    tray_menu && sleep 1.5
    [ "$(visible_windows)" -gt "$before" ] || { xdotool key Escape; return 1; }
}
if menu_opened || menu_opened || menu_opened; then
    shoot_screen tray-menu.png
    xdotool key --delay 120 Down Down Down Down Down Return # 响铃记录, the fifth item
    if wait_for 30 a11y shown 响铃记录; then
        shoot 响铃记录 ring-log.png
    else
        say "no ring log window: no screenshot"
    fi
else
    say "no tray icon: no tray menu screenshot"
fi

# The 校园 window shows only on a campus central with buildings reporting: its test builds one from
# real status messages and saves it on this display.
if [ -x "$build/tests/ui_CampusWindowTest" ]; then
    HALVIX_SHOT_DIR="$HALVIX_ROOT/docs" QT_QPA_PLATFORM=xcb "$build/tests/ui_CampusWindowTest" >/dev/null 2>&1 &&
        say "docs/campus-window.png" || say "the 校园 window's test failed: no screenshot"
fi
