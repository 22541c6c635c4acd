#!/usr/bin/env bash
# Quitting never waits for the campus broker. Against a broker whose packets vanish (a port whose
# queue of connections is full, so every SYN is dropped; an iptables DROP rule where iptables
# exists) and one that takes the connection and never answers the TLS handshake:
#   - the headless building, having rung an entry, ends within 2 s of SIGTERM with status 0, its
#     ring log whole and holding that ring;
#   - the window program ends within 2 s of SIGTERM or of the tray's 关闭;
#   - the 主控's command line (campus push, campus send) ends in bounded time with a clear message.
# Environment: HALVIX_APP_DIR, HALVIX_BUILD_DIR, HALVIX_SNAPSHOT_FILES.
set -uo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
use_campus
campus_dir=$work/campus
campus_port=$(free_port)
campus_files "$campus_dir/files" "$campus_port" --central office --node b1 --name 教学楼 || exit 1
campus_clock "$(date -d tomorrow +%F) 10:00:00"
for id in office b1; do
    campus_folder "$id" || exit 1
    daily_spring "$campus_dir/$id" 0
done
campus_sink b1 || exit 1

# broker_at PORT: every program of the campus looks for its broker there.
broker_at() { sed -i "s|^broker *=.*|broker = mqtts://127.0.0.1:$1|" "$campus_dir"/{office,b1}/campus.ini; }
# The campus's local time a few seconds from now, HH:MM:SS.
campus_time_in() { date -d "@$(($(date +%s) + campus_offset + $1))" +%T; }
quit_within() {
    [ "$quit_status" = 0 ] && within "$quit_seconds" 0 2 && pass "$1: ended $quit_seconds s after the request, status 0" ||
        fail "$1: status $quit_status after $quit_seconds s"
}

# try_against WHAT PORT: every check against a broker on PORT that does not answer.
try_against() {
    local what=$1 entry rows
    broker_at "$2"
    # --- The headless building rings, then quits ---
    entry=$(campus_time_in 6)
    plan_every_day "$campus_dir/b1" "$entry 上课.mp3"
    campus_start b1
    wait_for 20 grep -q "已记录.*$entry.*已响铃" "$campus_dir/b1.txt" || fail "$what: $entry did not ring"
    quit_timed "${campus_pid[b1]}"
    campus_pid[b1]=""
    quit_within "$what: the headless building"
    rows=$(sqlite3 "$campus_dir/b1/ringlog.db" "pragma integrity_check; select 结果 from ringlog where 计划时间 = '$entry'")
    [ "$rows" = $'ok\n已响铃' ] && pass "$what: its ring log is whole and holds the ring of $entry" ||
        fail "$what: ring log: $rows"

    # --- The window program, by SIGTERM and by the tray's 关闭 ---
    for how in SIGTERM 关闭; do
        start_program_at "$campus_dir/b1" "$campus_dir/b1-window.txt" "$(date -d "@$(($(date +%s) + campus_offset))" '+%F %T')"
        if ! wait_for 60 window_visible || ! wait_for 30 tray_icon_docked; then
            fail "$what: the window program did not show ($how)"
            kill -KILL "$program"
            continue
        fi
        sleep 2 # connecting, or trying to
        if [ "$how" = SIGTERM ]; then
            quit_timed "$program"
        else
            tray_click 3 && sleep 1
            quit_timed "$program" xdotool key Up Return # 关闭 is the last item
        fi
        program=""
        quit_within "$what: the window program by $how"
    done

    # --- The 主控's command line ---
    local started out status took words
    for words in "push" "send stop --node b1"; do
        started=$(now)
        # shellcheck disable=SC2086
        out=$(campus_halvix office campus $words)
        status=$?
        took=$(seconds_between "$started" "$(now)")
        [ $status -eq 1 ] && within "$took" 0 15 && [[ $out == *"无法连接代理服务器 127.0.0.1:$2"* ]] &&
            pass "$what: campus $words ends after $took s: $out" || fail "$what: campus $words: status $status after $took s: $out"
    done
}

deaf_broker black-hole || exit 1
try_against "packets dropped" "$deaf_port"
deaf_broker mute || exit 1
try_against "TLS never answered" "$deaf_port"
if command -v iptables >/dev/null; then
    campus_broker_start || exit 1
    rule=(INPUT -p tcp -i lo --dport "$campus_port" -j DROP)
    if iptables -I "${rule[@]}"; then
        trap 'iptables -D "${rule[@]}"; campus_down; stop_program_and_services' EXIT
        try_against "a broker behind a DROP rule" "$campus_port"
    else
        echo "skipped: iptables cannot add a rule here (not root?)"
    fi
else
    echo "skipped: the DROP rule case needs iptables, which this machine lacks"
fi

campus_finish b1
