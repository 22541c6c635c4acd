#!/usr/bin/env bash
# The program speaks Chinese only, under a Chinese locale and under the C locale alike. For each,
# `halvix --help` and a bad option print no English, and the real program, started on a day whose
# entries have all passed, is walked window by window over the accessibility bus: the main window,
# 设置 with its lower half shown, 数据管理 with a list, a message box, the file dialog of 导入,
# 校历 and 响铃记录. Every text a user sees there (names, labels, column titles, window titles) is
# checked for Latin words; the program's name, CSV and file names and paths are allowed. The file
# dialog's list (opened in the program folder) is read cell by cell: a folder's type reads 文件夹,
# dates and sizes are written the Chinese way. Also checked on the way: "所有任务已完成!" waits in
# no box at start-up but shows on the window's status line, and the settings dialog's exam date is
# written the Chinese way.
#
# Needs a display with a tray host, a PulseAudio server and a session bus; brings its own when run
# alone. Environment: HALVIX_APP_DIR, HALVIX_BUILD_DIR.
set -uo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ensure_services

# Latin words a user may see: the program's name and the file kind of 导入 and 导出.
allowed='^(Halvix|CSV)$'
# On the command line also the words one types: commands, options and the date's pattern.
typed='^(halvix|plan|check|log|ring|stop|mute|unmute|export|import|help|version|folder|headless|since|node|csv|empty|emergency|clear|zone|voic|campus|push|nodes|send|status|play|reload|all|expiry|YYYY|MM|DD)$'

# english ALLOWED: the Latin words of stdin that ALLOWED does not match, one a line. Paths and file
# names (a slash, or a known extension) are the user's own and are left out.
english() {
    sed -E 's#[^[:space:]]*/[^[:space:]]*##g; s#[^[:space:]]+\.(csv|mp3|wav|txt|mdb|db)\b##g' |
        grep -oE '[A-Za-z]{2,}' | grep -vE "$1" | sort -u
}

# no_english WHAT ALLOWED FILE: passes when FILE holds text and no word ALLOWED does not match.
no_english() {
    local found
    if [ ! -s "$3" ]; then
        fail "$1: nothing was read"
        return
    fi
    found=$(english "$2" <"$3" | tr '\n' ' ')
    if [ -z "$found" ]; then pass "$1: no English"; else fail "$1: English words: $found"; fi
}

# seen LOCALE WHERE: what the program shows now, added to the texts of LOCALE.
seen() {
    local texts
    texts=$(a11y texts)
    printf '%s\n' "$texts" >>"$work/seen-$1.txt"
    printf '== %s\n%s\n' "$2" "$texts" >>"$artifacts/chinese-texts-$1.txt"
    [ -n "$texts" ]
}
# grep reads to the end: a reader cut short would fail the pipe.
shows() { a11y texts | grep -F "$1" >/dev/null; }
# The window hides into the tray a few seconds after the start: brought back to be read.
main_shows() { show_main_window && shows "$1"; }
# 响铃记录, the fourth item of the tray menu; a menu opened while the program is busy may miss keys.
open_ring_log() { tray_pick Down Down Down Down Down Return && wait_for 15 a11y shown 响铃记录; }

# file_cells LOCALE: the file dialog's list, a row a line (name, size, type, date between tabs), into
# $work/cells-LOCALE.txt; false until it lists the program folder's voic.
file_cells() {
    a11y cells 打开 >"$work/cells-$1.txt"
    printf '== file dialog\n' >>"$artifacts/chinese-texts-$1.txt"
    cat "$work/cells-$1.txt" >>"$artifacts/chinese-texts-$1.txt"
    grep -q '^voic'$'\t' "$work/cells-$1.txt"
}

# check_file_cells LOCALE: in the list of files (the rows of four cells; the side bar's have one),
# folders are 文件夹, sizes have no English and dates are written the Chinese way (yyyy/M/d HH:mm).
check_file_cells() {
    local cells="$work/cells-$1.txt" odd
    awk -F'\t' 'NF == 4' "$cells" >"$work/files-$1.txt"
    if awk -F'\t' '$1 == "voic" && $3 == "文件夹" { found = 1 } END { exit !found }' "$work/files-$1.txt"; then
        pass "$1: the file dialog says 文件夹"
    else
        fail "$1: the file dialog's type of voic: $(awk -F'\t' '$1 == "voic" { print $3 }' "$work/files-$1.txt")"
    fi
    odd=$(cut -f4 "$work/files-$1.txt" | grep -vE '^[0-9]{4}/[0-9]{1,2}/[0-9]{1,2} [0-9]{2}:[0-9]{2}$' | head -1)
    if [ -z "$odd" ]; then pass "$1: the file dialog's dates"; else fail "$1: the file dialog's date \"$odd\""; fi
    # The CSV file of the folder; sizes in Qt's binary units (KiB) are symbols, not words.
    cut -f2 "$work/files-$1.txt" >"$work/sizes-$1.txt"
    grep -q 字节 "$work/sizes-$1.txt" || fail "$1: the file dialog shows no size in 字节"
    no_english "$1: the file dialog's sizes" '^[KMGT]iB$' "$work/sizes-$1.txt"
}

walk_windows() {
    local locale=$1
    rm -f "$artifacts/chinese-texts-$locale.txt"
    copy_app
    daily_spring "$app" 1125
    printf '开始日期,结束日期,类型,参数,备注\n' >"$app/校历.csv" # listed by 导入, with its size
    # Wednesday 12 March 2025 at 23:00: every entry of the day has passed. Started in the program
    # folder, where the file dialogs open.
    pushd "$app" >/dev/null || exit 1
    start_program_at "$app" "$artifacts/chinese-$locale-output.txt" "2025-03-12 23:00:00" \
        LANG="$locale" LC_ALL="$locale" LANGUAGE= QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
    popd >/dev/null || exit 1
    wait_for 60 window_visible || { fail "$locale: the window never appeared"; kill -TERM "$program"; return; }
    a11y wait
    if wait_for 60 main_shows "所有任务已完成!"; then
        pass "$locale: the status line says 所有任务已完成!"
    else
        fail "$locale: the status line does not say 所有任务已完成!"
    fi
    if [ -n "$(a11y boxes 2)" ]; then fail "$locale: a message box waited at start-up"; else pass "$locale: no box at start-up"; fi
    show_main_window && wait_for 10 seen "$locale" main

    wait_for 60 open_from_main 设置 && wait_for 30 a11y shown 时间设置 ||
        { fail "$locale: no settings dialog"; return; }
    a11y press 时间设置 button 显示
    wait_for 10 a11y has 时间设置 button 隐藏 || fail "$locale: the toggle does not say 隐藏 once the lower half shows"
    seen "$locale" settings
    local date
    date=$(a11y read 时间设置 picker 考试日期)
    if [ "$date" = "2025年03月12日" ]; then pass "$locale: exam date $date"; else fail "$locale: exam date \"$date\""; fi

    a11y press 时间设置 button 数据 && wait_for 30 a11y shown 数据管理 || { fail "$locale: no data dialog"; return; }
    # 保存 with no table chosen: a warning box. A press while the dialog is still busy may be lost.
    press_save() { wait_for 10 a11y has 数据管理 button 保存 && a11y press 数据管理 button 保存 && wait_for 30 shows "选择类型!"; }
    press_save || press_save || fail "$locale: no message box"
    seen "$locale" "message box"
    a11y boxes 2 >/dev/null
    a11y click "星期2--4"
    seen "$locale" data
    a11y press 数据管理 button 导入
    if wait_for 30 a11y shown 打开; then
        sleep 1
        seen "$locale" "file dialog"
        wait_for 10 file_cells "$locale"
        check_file_cells "$locale"
        close_window 打开 取消 || fail "$locale: the file dialog does not close"
    else
        fail "$locale: no file dialog"
    fi
    close_window 数据管理 || fail "$locale: the data dialog does not close"
    close_window 时间设置 取消 || fail "$locale: the settings dialog does not close"

    if wait_for 60 open_from_main 校历 && wait_for 30 a11y shown 校历; then
        seen "$locale" calendar
        close_window 校历 关闭 || fail "$locale: the calendar does not close"
    else
        fail "$locale: no calendar dialog"
    fi

    if open_ring_log || { xdotool key Escape; open_ring_log; }; then
        seen "$locale" "ring log"
    else
        fail "$locale: no ring log window"
    fi
    kill -TERM "$program"
    wait_for 15 program_ended
    program=""
}

for locale in zh_CN.UTF-8 C; do
    LANG=$locale LC_ALL=$locale "$HALVIX_APP_DIR/halvix" --help >"$work/help-$locale.txt" 2>&1
    no_english "$locale: halvix --help" "$allowed|$typed" "$work/help-$locale.txt"
    LANG=$locale LC_ALL=$locale "$HALVIX_APP_DIR/halvix" -x >"$work/usage-$locale.txt" 2>&1
    no_english "$locale: a bad option" "$allowed|$typed" "$work/usage-$locale.txt"

    rm -f "$work/seen-$locale.txt"
    walk_windows "$locale"
    no_english "$locale: the windows" "$allowed" "$work/seen-$locale.txt"
    # Qt's own texts are translated: the message box's OK and the file dialog's.
    for word in 确定 文件名; do
        grep -qF "$word" "$work/seen-$locale.txt" && pass "$locale: Qt says $word" || fail "$locale: no $word"
    done
done

finish chinese-
