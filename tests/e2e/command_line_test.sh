#!/usr/bin/env bash
# The command line on a copy of the program folder, without a running bell: exit statuses, `plan`
# for a 停铃, a 调休 and an exam date (the decision with its reasons, then the rows), `check`
# naming a missing sound file and passing once it is back, `export` and `import` (a file with a bad
# fifth line leaves the table as it was; a good one replaces it, a spreadsheet's 8:45 stored as
# 08:45; an empty or blank calendar file is
# refused and the calendar stays on disk unless --empty asks to empty it; a calendar file without a
# title line keeps its first entry), `check` on a machine whose sound server is away (it says no
# sound can come out, status 1), and the commands that need a running bell when none runs. Needs no
# display; starts a sound server when none answers.
# Environment: HALVIX_APP_DIR, HALVIX_BUILD_DIR.
set -uo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

sound_server_answers || start_sound_server || exit 1
copy_app
daily_spring "$app" 1125
sqlite3 "$app/jbase.mdb" "delete from cjtime; delete from zccjtime; delete from kscjtime; delete from sjtime;
    insert into cjtime values ('1', '', '08:10', '周一上课', '上课.mp3', '待完', '');
    insert into zccjtime values ('1', '', '08:00', '上课', '上课.mp3', '待完', '');
    insert into zccjtime values ('2', '', '07:00:30', '早读', '早读.mp3', '待完', '');
    insert into kscjtime values ('1', '', '09:00', '考试开始', 'h05开始答题.mp3', '待完', '');
    create table if not exists calendar (开始日期 TEXT, 结束日期 TEXT, 类型 TEXT, 参数 TEXT, 备注 TEXT);
    delete from calendar;
    insert into calendar values ('2025-10-01', '2025-10-07', '停铃', '', '国庆节');
    insert into calendar values ('2025-09-28', '2025-09-28', '调休', '1', '补国庆');
    insert into calendar values ('2025-03-10', '2025-03-14', '考试', '', '期中考试');" || exit 1

# cli NAME EXPECTED_STATUS ARGS...: runs the program with ARGS; its output in out and err.
cli() {
    local name=$1 want=$2
    shift 2
    out=$(env -u DISPLAY "$app/halvix" "$@" 2>"$work/err")
    status=$?
    err=$(cat "$work/err")
    printf '%s\n%s\n' "$out" "$err" >"$artifacts/cli-$name-output.txt"
    if [ "$status" -eq "$want" ]; then pass "$name: status $status"; else fail "$name: status $status, not $want ($out $err)"; fi
}
expect_text() { # NAME ACTUAL EXPECTED
    if [ "$2" = "$3" ]; then pass "$1"; else fail "$1: got
$2
expected
$3"; fi
}

cli help 0 --help
grep -q 'import \[--empty\] 表 文件' <<<"$out" && pass "--help lists the commands" || fail "--help: $out"
cli version 0 --version
cli unknown-command 2 ringall
cli bad-date 2 plan 2025-02-30
cli missing-folder 2 --folder "$work/nowhere" plan

cli plan-holiday 0 plan 2025-10-02
expect_text "plan on a 停铃 date" "$out" "2025-10-02 星期四: 停铃 (国庆节, 第1行 2025-10-01 至 2025-10-07)"
cli plan-make-up 0 plan 2025-09-28
expect_text "plan on a 调休 date: the Monday table" "$out" \
    "2025-09-28 星期日: 调休, 按星期一 (补国庆, 第2行 2025-09-28), 日常 (默认), 春季 (默认)
08:10	周一上课	上课.mp3"
cli plan-exam 0 --folder "$app" plan 2025-03-12
expect_text "plan on an exam date: the exam table" "$out" \
    "2025-03-12 星期三: 考试 (期中考试, 第3行 2025-03-10 至 2025-03-14), 春季 (默认)
09:00	考试开始	h05开始答题.mp3"
cli plan-plain 0 plan 2025-03-19
expect_text "plan on a plain Wednesday: rows in time order" "$out" \
    "2025-03-19 星期三: 日常 (默认), 春季 (默认)
07:00:30	早读	早读.mp3
08:00	上课	上课.mp3"

mv "$app/voic/早读.mp3" "$work/早读.mp3"
cli check-missing 1 check 2025-03-19
expect_text "check names the missing file" "$out" "07:00:30	早读	早读.mp3	缺少声音: voic 中没有文件 早读.mp3"
mv "$work/早读.mp3" "$app/voic/早读.mp3"
cli check-restored 0 check 2025-03-19

# The sound files all there, but nothing to play them on: no server, then a frozen one.
PULSE_SERVER=unix:$work/nowhere/native cli check-no-sound-server 1 check 2025-03-19
expect_text "check says no sound can come out" "$out" "声音输出: 无法连接声音服务器"
mkdir -p "$work/frozen"
serve_sound "$work/frozen" "$work/frozen/log" || exit 1
frozen=${HALVIX_SERVICE_PIDS[-1]}
kill -STOP "$frozen"
asked=$(now)
PULSE_SERVER=unix:$work/frozen/native cli check-frozen-sound-server 1 check 2025-03-19
took=$(seconds_between "$asked" "$(now)")
kill -CONT "$frozen"
if [[ $out == "声音输出: 声音服务器无应答"* ]] && within "$took" 2 4; then
    pass "check gives up on a frozen sound server after $took s: $out"
else
    fail "check on a frozen sound server: $took s: $out"
fi

before=$(sqlite3 "$app/jbase.mdb" "select * from zccjtime")
cli export 0 export zccjtime "$work/zccjtime.csv"
{ printf '序号,日期,时间,事件,声音,状态,备注,\r\n'
  for t in 06:00 06:30 07:00; do printf '1,,%s,早,起床.mp3,待完,,\r\n' "$t"; done
  printf '5,,7点半,早,起床.mp3,待完,,\r\n'; printf '6,,08:00,早,起床.mp3,待完,,\r\n'; } |
    iconv -f utf-8 -t gb18030 >"$work/bad.csv"
cli import-bad 2 import zccjtime "$work/bad.csv"
grep -q '第5行: 时间无效: "7点半"' <<<"$err" && pass "the bad fifth line is named" || fail "import message: $err"
expect_text "the table is unchanged after the bad import" "$(sqlite3 "$app/jbase.mdb" "select * from zccjtime")" "$before"
sqlite3 "$app/jbase.mdb" "delete from zccjtime"
cli import-good 0 import zccjtime "$work/zccjtime.csv"
expect_text "export then import gives the table back" "$(sqlite3 "$app/jbase.mdb" "select * from zccjtime")" "$before"
cli import-unknown-table 2 import lxtime "$work/zccjtime.csv"
# A spreadsheet's times (one-digit hours, seconds) are taken and stored as the bell reads them, in
# the order of the day; what is no time is still refused by its line.
printf '序号,日期,时间,事件,声音,状态,备注\r\n1,,8:45,第二节,上课.mp3,待完,\r\n2,,10:05,第三节,上课.mp3,待完,\r\n3,,7:50:00,早读,上课.mp3,待完,\r\n' |
    iconv -f utf-8 -t gb18030 >"$work/spreadsheet.csv"
cli import-spreadsheet 0 import zccjtime "$work/spreadsheet.csv"
expect_text "spreadsheet times stored with their leading zero" \
    "$(sqlite3 "$app/jbase.mdb" "select 时间, 事件 from zccjtime order by 时间")" "$(printf '07:50:00|早读\n08:45|第二节\n10:05|第三节')"
printf '1,,8:5,第二节,上课.mp3,待完,\r\n' >"$work/short-minute.csv"
cli import-short-minute 2 import zccjtime "$work/short-minute.csv"
grep -q '第1行: 时间无效: "8:5"' <<<"$err" && pass "8:5 is refused by its line" || fail "import of 8:5: $err"
sqlite3 "$app/jbase.mdb" "delete from zccjtime"
cli import-good-again 0 import zccjtime "$work/zccjtime.csv"

cli calendar-export 0 export calendar "$work/calendar.csv"
iconv -f gb18030 -t utf-8 "$work/calendar.csv" | grep -q '^2025-10-01,2025-10-07,停铃,,国庆节,' &&
    pass "the calendar exports in its file form" || fail "calendar file: $(cat "$work/calendar.csv")"

calendar_before=$(sqlite3 "$app/jbase.mdb" "select * from calendar")
: >"$work/empty.csv"
printf '\r\n  \r\n\n' >"$work/blank.csv"
for file in empty blank; do
    cli "calendar-import-$file" 2 import calendar "$work/$file.csv"
    grep -q '文件中没有任何行; 若要清空此表, 请加 --empty' <<<"$err" && pass "the $file file is refused with its reason" ||
        fail "import of the $file file: $err"
    expect_text "the calendar stays after the $file file" "$(sqlite3 "$app/jbase.mdb" "select * from calendar")" \
        "$calendar_before"
done
# Without a title line every line is an entry: a first line that is no date is named, not skipped.
printf '2027.10.01,2027-10-07,停铃,,,\r\n2027-05-01,2027-05-03,停铃,,劳动节,\r\n' >"$work/untitled.csv"
cli calendar-import-bad-first-line 2 import calendar "$work/untitled.csv"
grep -q '第1行: 开始日期无效: "2027.10.01"' <<<"$err" && pass "the bad first line is named" || fail "first line: $err"
printf '2027-10-01,2027-10-07,停铃,,国庆节,\r\n2027-05-01,2027-05-03,停铃,,劳动节,\r\n' >"$work/untitled.csv"
cli calendar-import-untitled 0 import calendar "$work/untitled.csv"
expect_text "both lines of a file without titles are entries" "$out" "已导入 calendar: 2行"
cli calendar-import-emptied 0 import --empty calendar "$work/empty.csv"
expect_text "--empty empties the calendar" "$(sqlite3 "$app/jbase.mdb" "select count(*) from calendar")" 0

for command in ring stop mute unmute; do
    words=("$command")
    [ "$command" = ring ] && words+=(上课.mp3)
    cli "$command-without-bell" 3 "${words[@]}"
done
cli log-without-ring-log 2 log

finish cli-
