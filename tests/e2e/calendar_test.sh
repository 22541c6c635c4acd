#!/usr/bin/env bash
# The school calendar decides the day by date. The real executable starts four times from a copy of
# the program folder (stored: 日常, 春季, school week Monday to Friday), each time at 10:00:00 of a
# date the calendar speaks of, with one entry at 10:00:10 in every plan table, each table's with a
# sound of its own length. Checks what the sink hears and what the window's line says, read over
# the accessibility bus:
#   Wednesday 1 October 2025, 停铃 (国庆节)       nothing
#   Sunday 28 September 2025, 调休 as Monday       the Monday table (not the Sunday table)
#   Wednesday 12 March 2025, 考试 (期中考试)       the spring exam table, while lxtime says 日常
#   Wednesday 12 March 2025, 秋季 (试行秋季表)     the autumn table, while jjtime says 春季
#
# Needs a display with a tray host, a PulseAudio server and a session bus (scripts/test.sh starts
# them); brings its own when run alone. Environment: HALVIX_APP_DIR, HALVIX_BUILD_DIR.
set -uo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ensure_services

# Each plan table's entry and the length of its sound in seconds.
declare -A sound_of=([cjtime]=下课.mp3 [zccjtime]=上课.mp3 [qjtime]=眼保健操.mp3 [zcqjtime]=早读.mp3
    [fridtime]=就餐.mp3 [sundaytime]=起床.mp3 [kscjtime]=晚自习.mp3 [ksqjtime]=预备.mp3)

read_today_line() {
    shown=$(a11y names "$main_window_title" | grep -o '今日: .*' | head -n 1)
    [ -n "$shown" ]
}

# scenario NAME DATE CALENDAR_ROW EXPECTED_TABLE LINE: EXPECTED_TABLE empty when nothing may sound.
scenario() {
    local name=$1 date=$2 row=$3 expected=$4 line=$5 table sql=""
    copy_app
    daily_spring "$app" 1125
    for table in "${!sound_of[@]}"; do
        sql+="delete from $table; insert into $table values ('1', '', '10:00:10', '$table', '${sound_of[$table]}', '待完', '');"
    done
    sqlite3 "$app/jbase.mdb" "$sql delete from sjtime;
        create table if not exists calendar (开始日期 TEXT, 结束日期 TEXT, 类型 TEXT, 参数 TEXT, 备注 TEXT);
        delete from calendar; insert into calendar values ($row);" || exit 1
    entry_epoch=$(date -d "$date 10:00:10" +%s)
    launch_recorded "$date 10:00:00" "$artifacts/calendar-$name-output.txt"
    wait_for 60 window_visible || fail "$name: the window never appeared"

    # The first start may come before the accessibility bus knows the window: asked again.
    shown=""
    wait_for 10 read_today_line
    if [ "$shown" = "$line" ]; then pass "$name: the window says \"$shown\""; else fail "$name: the window says \"$shown\", not \"$line\""; fi

    sleep_until $((entry_real + 8))
    stop_recording
    kill -TERM "$program"
    wait_for 15 program_ended
    program=""
    local heard
    heard=$(onset_times | awk -v e="$entry_real" '$1 > e - 1 { printf "%.2f %.2f\n", $1 - e, $2 }')
    if [ -z "$expected" ]; then
        if [ -z "$heard" ]; then pass "$name: nothing rang"; else fail "$name: heard $heard"; fi
        return
    fi
    local want
    want=$(soxi -D "$app/voic/${sound_of[$expected]}")
    if awk -v w="$want" 'NR == 1 && $1 > -0.2 && $1 < 1.5 && $2 > w - 0.2 && $2 < w + 0.15 { ok = 1 }
                         END { exit !(ok && NR == 1) }' <<<"$heard"; then
        pass "$name: $expected's ${sound_of[$expected]} rang ($heard)"
    else
        fail "$name: expected $expected's ${sound_of[$expected]} ($want s) at 10:00:10, heard: ${heard:-nothing}"
    fi
}

scenario holiday 2025-10-01 "'2025-10-01', '2025-10-07', '停铃', '', '国庆节'" "" "今日: 停铃 (国庆节)"
scenario make-up 2025-09-28 "'2025-09-28', '2025-09-28', '调休', '1', '补国庆'" cjtime \
    "今日: 调休, 按星期一 (补国庆), 日常, 春季"
scenario exam 2025-03-12 "'2025-03-10', '2025-03-14', '考试', '', '期中考试'" kscjtime \
    "今日: 星期三, 考试 (期中考试), 春季"
scenario autumn 2025-03-12 "'2025-03-01', '2025-06-30', '秋季', '', '试行秋季表'" zcqjtime \
    "今日: 星期三, 日常, 秋季 (试行秋季表)"

finish calendar-
