#!/usr/bin/env bash
# Onsets of one entry on three buildings: a broker with the campus's certificates, the 主控's plan
# of ENTRIES entries pushed with `halvix campus push`, three buildings ringing it headless, each by
# its own timer, each on a sink of its own (scripts/lib/campus.sh: channels of one null sink, so
# one recording holds the three on a single timeline and their onsets compare to the sample).
#
#   bench/campus-onsets.sh [BUILD_DIR] [ENTRIES=10]
set -euo pipefail
lib=$(dirname "${BASH_SOURCE[0]}")/../scripts/lib
source "$lib/program.sh"
source "$lib/campus.sh"
source "$lib/figures.sh"

build=$(cd "${1:-$HALVIX_ROOT/build}" && pwd)
entries=${2:-10}
export HALVIX_APP_DIR=$build/app
[ -x "$HALVIX_APP_DIR/halvix" ] || { say "no program in $HALVIX_APP_DIR"; exit 1; }
work=$(mktemp -d /tmp/halvix-onsets-XXXXXX)
trap 'campus_down; rm -rf "$work"' EXIT
find_faketime

nodes=(b1 b2 b3)
campus_up "$work/campus" --central office --node b1 --node b2 --node b3
campus_clock "$(date -d tomorrow +%F) 10:00:00"

# Entries 12 s apart from 10:01:00 on; the buildings' own plans hold nothing before them.
plan=()
first=$(campus_real 10:01:00)
for ((k = 0; k < entries; ++k)); do
    plan+=("$(date -d "@$((first + campus_offset + 12 * k))" +%T) 上课.mp3")
done
for id in office "${nodes[@]}"; do
    campus_folder "$id"
    daily_spring "$campus_dir/$id" 0
    plan_every_day "$campus_dir/$id" "07:00:00 上课.mp3"
    [ "$id" = office ] || campus_sink "$id" || { say "no sink for $id"; exit 1; }
done
plan_every_day "$campus_dir/office" "${plan[@]}"
for id in "${nodes[@]}"; do campus_start "$id"; done
pushed=$(campus_halvix office campus push)
say "主控: $pushed"
for id in "${nodes[@]}"; do
    wait_for 30 campus_status_has "$id" '"revision":1,' || { say "$id never applied the plan"; exit 1; }
done

campus_record "${nodes[@]}"
sleep_until $((first + 12 * entries + 3))
campus_stop_recording "${nodes[@]}"

# spreads SCALE FILES...: for each line that all FILES have, their largest less their smallest
# value, times SCALE.
spreads() {
    local scale=$1
    shift
    paste "$@" | awk -v s="$scale" -v n=$# 'NF == n { lo = $1; hi = $1; for (i = 2; i <= NF; ++i) { if ($i < lo) lo = $i; if ($i > hi) hi = $i }
                                             printf "%.1f\n", (hi - lo) * s }'
}
# Each building's onsets, then the spread of each entry's three.
for id in "${nodes[@]}"; do campus_onsets "$id" | cut -d' ' -f1 >"$work/onsets-$id.txt"; done
spreads=$(spreads 1000 "$work/onsets-b1.txt" "$work/onsets-b2.txt" "$work/onsets-b3.txt")
heard=$(wc -l <"$work/onsets-b1.txt")/$(wc -l <"$work/onsets-b2.txt")/$(wc -l <"$work/onsets-b3.txt")
say "onsets heard on b1/b2/b3: $heard of $entries; spreads (ms): $(echo $spreads)"
rows=$(echo "$spreads" | grep -c . || true)
if [ "$heard" != "$entries/$entries/$entries" ] || [ "$rows" -ne "$entries" ]; then
    figure_row "campus: onsets of one entry on three buildings ($entries entries)" \
        "heard $heard: not every building rang every entry" "–" "within 10 ms"
    exit 1
fi
# What each building says of its own firing: 延迟毫秒, after the entry's second, to the millisecond.
for id in "${nodes[@]}"; do
    sqlite3 "$campus_dir/$id/ringlog.db" \
        "select 延迟毫秒 from ringlog where 结果 = '已响铃' and 计划时间 > '10:00' order by 计划时间" >"$work/fired-$id.txt"
done
fired=$(spreads 1 "$work/fired-b1.txt" "$work/fired-b2.txt" "$work/fired-b3.txt")
say "firing spreads (ms, from the ring logs): $(echo $fired)"
largest=$(echo "$spreads" | sort -n | tail -1)
figure_row "campus: onsets of one entry on three buildings, $entries entries (one recording, a channel a building)" \
    "largest spread $largest ms (median $(median $spreads) ms); firing $(echo "$fired" | sort -n | tail -1) ms at most" \
    "–" "within 10 ms"
