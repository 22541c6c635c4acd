#!/usr/bin/env bash
# Files that survive a power cut, judged from the system calls of the real program (strace, then
# scripts/lib/durable_writes.py): every file it replaces is flushed before its rename and its folder
# after it, no file is written or truncated in place (SQLite's own aside), and a campus building's
# sounds and folders are on the disk before it commits their revision. The writers driven:
#   - the command line without a bell: `export` to a new file and over an old one, `import`,
#     `emergency SOUND` and `emergency clear` (emergency.json);
#   - the headless bell: `emergency SOUND`, `emergency clear`, `mute`, `unmute`, an `import`;
#   - the first start in a per-user folder, filled from the installed defaults;
#   - the window's 设置: 开机自启动 (the autostart entry), then the school week (xqno.txt) and the
#     exam timetable (tovk/) saved;
#   - a campus building on a loopback broker: two plans applied (a new sound, then new bytes under
#     its name, and the school week) and a command remembered (campus-commands.txt).
# Needs a display with a tray host, a PulseAudio server and a session bus; brings its own when run
# alone. Environment: HALVIX_APP_DIR, HALVIX_BUILD_DIR, HALVIX_SNAPSHOT_FILES.
set -uo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
use_campus
traces=$work/traces
exports=$work/exports
mkdir -p "$traces" "$exports" "$work/config"

# Killed with the tracer, a traced program would go on untraced: the programs go first at exit.
end_traced() {
    local tracer
    for tracer in "$program" "${campus_pid[b1]:-}"; do
        [ -n "$tracer" ] && kill -KILL "$(traced_program "$tracer")" 2>/dev/null
    done
}
trap 'end_traced; campus_down; stop_program_and_services' EXIT

# traced NAME COMMAND...: runs COMMAND with its writes traced into $traces/NAME.txt.
traced() {
    write_tracer "$traces/$1.txt"
    "${program_wrapper[@]}" "${@:2}"
    local status=$?
    program_wrapper=()
    return $status
}
halvix_traced() { traced "$1" env -u DISPLAY "$app/halvix" --folder "$app" "${@:2}"; }
# stop_traced: ends the traced program with SIGTERM, then its tracer.
stop_traced() {
    kill -TERM "$(traced_program "$program")" 2>/dev/null
    wait_for 20 program_ended || fail "the traced program still runs 20 s after SIGTERM"
    program=""
}

# --- The command line without a bell -----------------------------------------------------------------
wednesday_entry 10:00:15 上课.mp3
echo "old export" >"$exports/plan.csv"
halvix_traced export-over export zccjtime "$exports/plan.csv" >/dev/null &&
    halvix_traced export-new export calendar "$exports/calendar.csv" >/dev/null &&
    halvix_traced import import zccjtime "$exports/plan.csv" >/dev/null &&
    pass "export over a file, export to a new one, import" || fail "export or import failed"
iconv -f GB18030 -t UTF-8 "$exports/plan.csv" | grep -q 第一节上课 ||
    fail "the export did not replace the old file: $(head -c 200 "$exports/plan.csv")"
out=$(halvix_traced emergency-stored emergency 上课.mp3 2>&1) && halvix_traced emergency-cleared emergency clear >/dev/null &&
    pass "emergency stored and cleared without a bell: ${out//$'\n'/ }" || fail "emergency without a bell: $out"

# --- The headless bell -----------------------------------------------------------------------------------
output=$artifacts/durable-bell-output.txt
program_args=(--headless)
write_tracer "$traces/bell.txt"
start_program_at "$app" "$output" "2025-03-12 10:00:05" DISPLAY= WAYLAND_DISPLAY=
program_wrapper=() program_args=()
if wait_for 30 grep -q 无窗口运行 "$output"; then
    bell() { env -u DISPLAY "$app/halvix" --folder "$app" "$@" >>"$work/bell-answers.txt" 2>&1; }
    bell emergency 上课.mp3 && sleep 1 && bell emergency clear && bell mute && bell unmute &&
        bell import zccjtime "$exports/plan.csv" && pass "the bell took emergency, clear, mute, unmute, import" ||
        fail "the bell refused a request: $(cat "$work/bell-answers.txt")"
    grep -q '"active":false' "$app/emergency.json" || fail "emergency.json after the clear: $(cat "$app/emergency.json")"
else
    fail "the headless bell did not start under the tracer"
fi
stop_traced

# --- The first start in a per-user folder ------------------------------------------------------------
installed=$work/installed
mkdir -p "$installed/bin" "$installed/share/halvix"
cp "$HALVIX_APP_DIR/halvix" "$installed/bin/"
cp -a "$HALVIX_APP_DIR"/{jbase.mdb,voic,tovk,xqno.txt} "$installed/share/halvix/"
traced first-start env -u DISPLAY XDG_DATA_HOME="$work/data" "$installed/bin/halvix" plan 2025-03-12 >/dev/null
[ -s "$work/data/halvix/jbase.mdb" ] && pass "the first start filled $work/data/halvix from the defaults" ||
    fail "no database in the per-user folder after the first start"

# --- 设置 in the window: 开机自启动, the school week, the exam timetable --------------------------------
dialog=时间设置
dialog_shown() { a11y shown "$dialog"; }
dialog_closed() { ! xdotool search --onlyvisible --name "^$dialog\$" >/dev/null 2>&1; }
in_dialog() { wait_for 60 a11y "$1" "$dialog" "${@:2}"; }
press_settings() { show_main_window && a11y press "$main_window_title" button 设置; }
write_tracer "$traces/window.txt"
start_program_at "$app" "$artifacts/durable-window-output.txt" "2025-03-12 09:00:00" \
    QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 XDG_CONFIG_HOME="$work/config"
program_wrapper=()
if wait_for 90 window_visible && wait_for 90 press_settings && wait_for 30 dialog_shown; then
    in_dialog press check 开机自启动 && wait_for 10 test -f "$work/config/autostart/halvix.desktop" &&
        in_dialog press button 显示 && in_dialog press check 星期一 && in_dialog press check 星期五 &&
        in_dialog press button 保存 && wait_for 30 dialog_closed &&
        pass "设置 saved with 开机自启动, 星期一 and 星期五" || fail "设置 could not be saved"
    [ "$(cat "$app/xqno.txt")" = 1125 ] || fail "xqno.txt holds $(cat "$app/xqno.txt") after the save"
else
    fail "设置 did not open under the tracer"
fi
stop_traced

# --- A campus building: two plans and a command --------------------------------------------------------
campus_up "$work/campus" --central office --name 办公室 --node b1 --name 教学楼 || exit 1
campus_clock
plan=$work/plan
copy_program_folder "$HALVIX_APP_DIR" "$plan"
daily_spring "$plan" 1125
cp "$plan/voic/下课.mp3" "$plan/voic/共享.mp3"
plan_every_day "$plan" "07:00:00 共享.mp3"
"$HALVIX_SNAPSHOT_FILES" "$plan" 1 "$work/rev1" || exit 1
echo 1126 >"$plan/xqno.txt"
cp "$plan/voic/上课.mp3" "$plan/voic/共享.mp3"
"$HALVIX_SNAPSHOT_FILES" "$plan" 2 "$work/rev2" || exit 1
campus_folder b1 && campus_sink b1 || exit 1
campus_publish_snapshot office "$work/rev1"
write_tracer "$traces/campus.txt"
campus_start b1
program_wrapper=()
wait_for 30 campus_status_has b1 '"revision":1,' && pass "b1 applied revision 1" || fail "b1 never reached revision 1"
campus_publish_snapshot office "$work/rev2"
wait_for 30 campus_status_has b1 '"revision":2,' && pass "b1 applied revision 2" || fail "b1 never reached revision 2"
cmp -s "$campus_dir/b1/voic/共享.mp3" "$plan/voic/共享.mp3" || fail "b1's 共享.mp3 is not revision 2's"
campus_command c-mute b1 mute 600 "$campus_date"
wait_for 20 grep -q c-mute "$campus_dir/b1/campus-commands.txt" && pass "b1 remembered its command" ||
    fail "b1 did not remember its command"
kill -TERM "$(traced_program "${campus_pid[b1]}")" 2>/dev/null
wait "${campus_pid[b1]}" 2>/dev/null
campus_pid[b1]=""

# --- The judgement ---------------------------------------------------------------------------------------
b1=$campus_dir/b1
judged=$(durable_writes --root "$app" --root "$exports" --root "$work/config" --root "$work/data" --root "$b1" \
    "$traces"/*.txt)
status=$?
if [ $status -eq 0 ]; then
    pass "every file replaced was flushed, renamed and its folder flushed ($(grep -c '^made' <<<"$judged") names made)"
else
    grep '^FAILED' <<<"$judged" | head -20
    fail "writes that a power cut could undo ($(grep -c '^FAILED' <<<"$judged") failures, the first above)"
    rm -rf "$artifacts/durable-traces" && cp -r "$traces" "$artifacts/durable-traces"
fi
# Each writer was seen at work, by the trace of the program that wrote.
for seen in "export-over $exports/plan.csv" "export-new $exports/calendar.csv" \
    "emergency-stored $app/emergency.json" "emergency-cleared $app/emergency.json" "bell $app/emergency.json" \
    "first-start $work/data/halvix/jbase.mdb" "first-start $work/data/halvix/voic/上课.mp3" \
    "window $work/config/autostart/halvix.desktop" "window $app/xqno.txt" "window $app/tovk/cbhtime.txt" \
    "campus $b1/voic/共享.mp3" "campus $b1/voic/.共享.mp3.halvix-old" "campus $b1/xqno.txt" \
    "campus $b1/campus-commands.txt"; do
    grep -qxF "made ${seen%% *}.txt ${seen#* }" <<<"$judged" || fail "no durable write of ${seen#* } by ${seen%% *}"
done
campus_finish b1
