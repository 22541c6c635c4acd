# The program killed with SIGKILL at random moments of its writes, round after round, each kind in
# turn: a calendar import, 今日静音/恢复响铃 on the running bell, the ring log while the bell starts
# and rings, a campus plan applied (halvix_apply_snapshots drives the node's own applier: a broker
# round trip would make a thousand rounds take hours). After every kill each database passes
# PRAGMA integrity_check, every table holds one whole version (the one before or the one after,
# compared with both), every ring-log row the program said it had stored is there, no entry has two
# rows on a date, and every fifth ring round the start after a kill rings its first entry.
# Sourced, not run: kill_rounds COUNT.
#
# Environment: HALVIX_APP_DIR (the built program folder), HALVIX_BUILD_DIR (its tests' tools),
# KILL_SEED (the rounds' random moments; the seed is printed), KILL_ONLY (some of the kinds below,
# separated by spaces: only those, in turn).

[ -n "${HALVIX_LIB_KILLS:-}" ] && return 0
HALVIX_LIB_KILLS=1
source "$(dirname "${BASH_SOURCE[0]}")/program.sh"

read -ra KILL_KINDS <<<"${KILL_ONLY:-calendar mute ringlog snapshot}"

# kill_fail ROUND WHAT: a failed check, kept with its round.
kill_fail() {
    KILL_FAILURES=$((KILL_FAILURES + 1))
    printf 'round %d (%s): %s\n' "$1" "$KILL_KIND" "$2" | tee -a "$KILL_WORK/failures.txt"
}

# random_ms LOW HIGH: a whole number of milliseconds between the two.
random_ms() { echo $(($1 + (RANDOM * 32768 + RANDOM) % ($2 - $1 + 1))); }
sleep_ms() { sleep "$(awk -v m="$1" 'BEGIN { printf "%.3f", m / 1000 }')"; }

# kill_now PID...: SIGKILL, then reaped.
kill_now() {
    local pid
    for pid in "$@"; do kill -KILL "$pid" 2>/dev/null; done
    for pid in "$@"; do wait "$pid" 2>/dev/null; done
}

# db_whole ROUND FILE: PRAGMA integrity_check says ok.
db_whole() {
    local answer
    answer=$(sqlite3 "$2" "pragma integrity_check" 2>&1)
    [ "$answer" = ok ] || kill_fail "$1" "${2##*/}: integrity_check: $answer"
}

# table_digest FILE SQL: a digest of what the query returns.
table_digest() { sqlite3 -separator $'\t' "$1" "$2" | md5sum | cut -d' ' -f1; }

calendar_rows="select * from calendar where 备注 <> '今日静音' order by 开始日期, 结束日期, 类型, 参数, 备注"
plan_rows="select * from cjtime; select '|'; select * from zccjtime; select '|'; select * from qjtime;
    select '|'; select * from calendar"

# ---- Setup ----------------------------------------------------------------------------------------

# calendar_csv MARK: a calendar of 2,000 single 停铃 days from 2000 on, each note marked MARK, as
# the data dialog exports it, in $KILL_WORK/calendar-MARK.csv.
calendar_csv() {
    local dir=$KILL_WORK/calendar
    sqlite3 "$dir/jbase.mdb" "delete from calendar;
        with recursive n(i) as (select 0 union all select i + 1 from n where i < 1999)
        insert into calendar select date('2000-01-01', '+' || i || ' days'), date('2000-01-01', '+' || i || ' days'),
            '停铃', '', '$1' || i from n;"
    "$dir/halvix" --folder "$dir" export calendar "$KILL_WORK/calendar-$1.csv" >/dev/null 2>&1
}

# A plan every day of entries every ten seconds from 06:00 to 22:00, ringing 上课.mp3.
ring_plan() {
    local rows=() s
    for ((s = 6 * 3600; s < 22 * 3600; s += 10)); do
        rows+=("$(printf '%02d:%02d:%02d' $((s / 3600)) $((s / 60 % 60)) $((s % 60))) 上课.mp3")
    done
    plan_every_day "$1" "${rows[@]}"
}

# snapshot_version NAME WEEK SOUND TIME: the central's folder of one version (school week WEEK,
# 共享.mp3 holding the bytes of SOUND, an entry at TIME) and what it publishes, in
# $KILL_WORK/published-NAME.
snapshot_version() {
    local src=$KILL_WORK/central-$1
    copy_program_folder "$HALVIX_APP_DIR" "$src"
    echo "$2" >"$src/xqno.txt"
    cp "$src/voic/$3" "$src/voic/共享.mp3"
    plan_every_day "$src" "07:00:00 共享.mp3" "$4 $3"
    "$HALVIX_BUILD_DIR/tests/halvix_snapshot_files" "$src" 1 "$KILL_WORK/published-$1"
}

# apply_snapshots [COUNT]: the two versions applied in turn to the snapshot rounds' folder.
apply_snapshots() {
    "$HALVIX_BUILD_DIR/tests/halvix_apply_snapshots" "$KILL_WORK/snapshot" "$KILL_WORK/published-A" \
        "$KILL_WORK/published-B" "$@"
}

# What the snapshot rounds' folder holds: its tables, its school week, the bytes of 共享.mp3.
snapshot_digest() {
    local dir=$KILL_WORK/snapshot
    echo "$(table_digest "$dir/jbase.mdb" "$plan_rows") $(cat "$dir/xqno.txt") $(md5sum <"$dir/voic/共享.mp3" | cut -d' ' -f1)"
}

kill_setup() {
    KILL_WORK=$(mktemp -d /tmp/halvix-kills-XXXXXX)
    KILL_FAILURES=0
    : >"$KILL_WORK/failures.txt"
    : >"$KILL_WORK/stored.txt"
    export TZ=Asia/Shanghai
    local kind
    for kind in calendar mute ringlog snapshot; do
        copy_program_folder "$HALVIX_APP_DIR" "$KILL_WORK/$kind" || return 1
        daily_spring "$KILL_WORK/$kind" 0
    done
    calendar_csv A && calendar_csv B || return 1
    "$KILL_WORK/calendar/halvix" --folder "$KILL_WORK/calendar" import calendar "$KILL_WORK/calendar-A.csv" >/dev/null
    KILL_CALENDAR_A=$(table_digest "$KILL_WORK/calendar/jbase.mdb" "$calendar_rows")
    "$KILL_WORK/calendar/halvix" --folder "$KILL_WORK/calendar" import calendar "$KILL_WORK/calendar-B.csv" >/dev/null
    KILL_CALENDAR_B=$(table_digest "$KILL_WORK/calendar/jbase.mdb" "$calendar_rows")
    [ "$KILL_CALENDAR_A" != "$KILL_CALENDAR_B" ] || { say "the two calendars do not differ"; return 1; }
    # The bell's folders: the mute rounds keep calendar A beside today's entry, the ring rounds ring.
    "$KILL_WORK/mute/halvix" --folder "$KILL_WORK/mute" import calendar "$KILL_WORK/calendar-A.csv" >/dev/null
    ring_plan "$KILL_WORK/ringlog"
    sqlite3 "$KILL_WORK/ringlog/jbase.mdb" "delete from calendar"
    # Two versions of the central's plan, each with its own school week and its own bytes under
    # one sound's name.
    snapshot_version A 1125 上课.mp3 08:00:00 && snapshot_version B 1126 下课.mp3 09:00:00 || return 1
    apply_snapshots 1 >/dev/null && KILL_SNAPSHOT_A=$(snapshot_digest)
    apply_snapshots 1 >/dev/null && KILL_SNAPSHOT_B=$(snapshot_digest)
    [ "$KILL_SNAPSHOT_A" != "$KILL_SNAPSHOT_B" ] || { say "the two snapshots do not differ"; return 1; }
}

# ---- The rounds -----------------------------------------------------------------------------------

# The calendar imported, A and B in turn, killed within the time an import takes.
round_calendar() {
    local r=$1 dir=$KILL_WORK/calendar version pid digest
    version=$([ $((r / ${#KILL_KINDS[@]} % 2)) = 0 ] && echo A || echo B)
    "$dir/halvix" --folder "$dir" import calendar "$KILL_WORK/calendar-$version.csv" >/dev/null 2>&1 &
    pid=$!
    sleep_ms "$(random_ms 0 "$KILL_CALENDAR_MS")"
    kill_now "$pid"
    db_whole "$r" "$dir/jbase.mdb"
    digest=$(table_digest "$dir/jbase.mdb" "$calendar_rows")
    [ "$digest" = "$KILL_CALENDAR_A" ] || [ "$digest" = "$KILL_CALENDAR_B" ] ||
        kill_fail "$r" "the calendar is neither the one before nor the one after"
}

# start_bell KIND "YYYY-MM-DD HH:MM:SS": the headless bell of that kind's folder at that time; sets
# program, output.
start_bell() {
    output=$KILL_WORK/output-$1
    program_args=(--headless)
    start_program_at "$KILL_WORK/$1" "$output" "$2" DISPLAY= WAYLAND_DISPLAY=
    program_args=()
}
bell_answers() { env -u DISPLAY "$1/halvix" --folder "$1" stop >/dev/null 2>&1; [ $? -ne 3 ]; }

# 今日静音 and 恢复响铃 asked of the running bell again and again; the bell killed at a random moment.
round_mute() {
    local r=$1 dir=$KILL_WORK/mute asker muted digest
    start_bell mute "2027-09-01 10:00:00"
    wait_for 20 bell_answers "$dir" || kill_fail "$r" "the bell does not answer after the kill before"
    (while :; do env -u DISPLAY "$dir/halvix" --folder "$dir" mute; env -u DISPLAY "$dir/halvix" --folder "$dir" unmute; done) >/dev/null 2>&1 &
    asker=$!
    sleep_ms "$(random_ms 100 1500)"
    kill_now "$program"
    program=""
    # The asker and the command it waits on, never left to reach the next round's bell.
    kill -STOP "$asker"
    pkill -KILL -P "$asker"
    kill_now "$asker"
    db_whole "$r" "$dir/jbase.mdb"
    digest=$(table_digest "$dir/jbase.mdb" "$calendar_rows")
    [ "$digest" = "$KILL_CALENDAR_A" ] || kill_fail "$r" "the calendar lost or changed rows beside today's mute"
    muted=$(sqlite3 "$dir/jbase.mdb" "select count(*) || ' ' || count(distinct 开始日期) from calendar where 备注 = '今日静音'")
    [ "$muted" = "0 0" ] || [ "$muted" = "1 1" ] || kill_fail "$r" "今日静音 entries: $muted (count, dates)"
}

# The rows the ring log holds, as the program says them when stored.
logged_rows() {
    sqlite3 -separator $'\t' "$KILL_WORK/ringlog/ringlog.db" "select 时刻, 计划时间, 事件, 声音, 结果 from ringlog" |
        LC_ALL=C sort -u
}

# The bell started at a new time each round, a few seconds before an entry and after entries no
# bell rang (logged 未运行 at its start), killed while it starts, logs and rings; every fifth ring
# round only once it has rung.
round_ringlog() {
    local r=$1 n=$(($1 / ${#KILL_KINDS[@]})) dir=$KILL_WORK/ringlog day start missing twice
    day=$(date -d "2027-03-01 +$((n / 90)) days" +%F)
    start=$(printf '%s %02d:%02d:03' "$day" $((6 + n % 90 / 6)) $((n % 6 * 10 + 2)))
    start_bell ringlog "$start"
    if [ $((n % 5)) = 1 ]; then
        if wait_for 30 grep -q $'已记录\t.*\t已响铃$' "$output"; then
            KILL_RANG=$((KILL_RANG + 1))
        else
            kill_fail "$r" "the start at $start rang nothing within 30 s"
        fi
        sleep_ms "$(random_ms 0 2000)"
    else
        sleep_ms "$(random_ms 200 9000)"
    fi
    kill_now "$program"
    program=""
    grep $'已记录\t' "$output" | cut -f2- >>"$KILL_WORK/stored.txt"
    db_whole "$r" "$dir/ringlog.db"
    missing=$(LC_ALL=C comm -23 <(LC_ALL=C sort -u "$KILL_WORK/stored.txt") <(logged_rows) | head -3)
    [ -z "$missing" ] || kill_fail "$r" "rows the program had stored are gone: $missing"
    twice=$(sqlite3 "$dir/ringlog.db" "select substr(时刻, 1, 10), 计划时间, count(*) from ringlog
        where 计划时间 <> '' group by 1, 2 having count(*) > 1 limit 3")
    [ -z "$twice" ] || kill_fail "$r" "entries with two rows on a date: $twice"
}

# The central's two versions applied in turn; killed at a random moment; then what a node does at
# its start, and the folder must hold the version of its revision whole.
round_snapshot() {
    local r=$1 dir=$KILL_WORK/snapshot pid revision applied expected now leftovers
    "$HALVIX_BUILD_DIR/tests/halvix_apply_snapshots" "$dir" "$KILL_WORK/published-A" "$KILL_WORK/published-B" \
        >"$KILL_WORK/applied.txt" 2>&1 &
    pid=$!
    sleep_ms "$(random_ms 0 "$KILL_SNAPSHOT_MS")"
    kill_now "$pid"
    db_whole "$r" "$dir/jbase.mdb"
    revision=$("$HALVIX_BUILD_DIR/tests/halvix_apply_snapshots" --start "$dir" | awk '{ print $2 }')
    applied=$(awk '$1 == "applied" { n = $2 } END { print n + 0 }' "$KILL_WORK/applied.txt")
    [ -n "$revision" ] && [ "$revision" -ge "$applied" ] ||
        kill_fail "$r" "revision ${revision:-unreadable} after $applied was applied"
    expected=$([ $((revision % 2)) = 1 ] && echo "$KILL_SNAPSHOT_A" || echo "$KILL_SNAPSHOT_B")
    now=$(snapshot_digest)
    [ "$now" = "$expected" ] || kill_fail "$r" "revision $revision: tables, week, sound are not its version's ($now)"
    leftovers=$(find "$dir" -name '.*.halvix-*' | head -3)
    [ -z "$leftovers" ] || kill_fail "$r" "leftovers after the start: $leftovers"
}

# How long one import and one apply take here: the kills fall within that time.
kill_timing() {
    local t0 t1 dir=$KILL_WORK/calendar
    t0=$(now)
    "$dir/halvix" --folder "$dir" import calendar "$KILL_WORK/calendar-A.csv" >/dev/null 2>&1
    t1=$(now)
    KILL_CALENDAR_MS=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%d", (b - a) * 1200 }')
    t0=$(now)
    apply_snapshots 4 >/dev/null
    t1=$(now)
    KILL_SNAPSHOT_MS=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%d", (b - a) * 1000 }')
}

# kill_rounds COUNT: prints a line per kind and the failures; false when any check failed.
kill_rounds() {
    local count=$1 r started kind
    : "${KILL_SEED:=$((RANDOM * 32768 + RANDOM))}"
    RANDOM=$KILL_SEED
    kill_setup || return 1
    kill_timing
    KILL_RANG=0
    declare -A kills=()
    say "kills: $count rounds, seed $KILL_SEED (an import takes up to $KILL_CALENDAR_MS ms, four applies $KILL_SNAPSHOT_MS ms; work in $KILL_WORK)"
    started=$(now)
    for ((r = 0; r < count; r++)); do
        KILL_KIND=${KILL_KINDS[r % ${#KILL_KINDS[@]}]}
        "round_$KILL_KIND" "$r"
        kills[$KILL_KIND]=$((${kills[$KILL_KIND]:-0} + 1))
        [ $(((r + 1) % 100)) = 0 ] && say "$((r + 1)) rounds, $KILL_FAILURES failed checks, $(seconds_between "$started" "$(now)") s"
    done
    for kind in "${KILL_KINDS[@]}"; do printf '%-10s %5d kills\n' "$kind" "${kills[$kind]:-0}"; done
    printf 'ring-log rows stored by the killed bells: %d, all still there unless said above\n' \
        "$(sort -u "$KILL_WORK/stored.txt" | wc -l)"
    printf 'starts checked to ring after a kill: %d\n' "$KILL_RANG"
    printf '%d rounds in %s s, %d failed checks\n' "$count" "$(seconds_between "$started" "$(now)")" "$KILL_FAILURES"
    [ "$KILL_FAILURES" -eq 0 ] && rm -rf "$KILL_WORK"
    [ "$KILL_FAILURES" -eq 0 ]
}
