#!/usr/bin/env bash
# Onsets of one entry on three buildings: a broker with the campus's certificates, the 主控's plan
# of ENTRIES entries pushed with `halvix campus push`, three buildings ringing it headless, each by
# its own timer. All three play into one sound server, each on a sink of its own that is one
# channel of a three-channel null sink: one recording holds the three on a single timeline, so
# their onsets are compared to the sample rather than across recorders started apart.
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

# The one server: "rec" has a channel a building; each building's sink is its channel.
rate=48000
mkdir -p "$work/pulse"
export DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent
XDG_RUNTIME_DIR=$work/pulse setsid pulseaudio --daemonize=no --exit-idle-time=-1 -n --disallow-exit \
    --load="module-null-sink sink_name=rec channels=3 channel_map=aux0,aux1,aux2 rate=$rate norewinds=1" \
    --load="module-native-protocol-unix socket=$work/pulse/native auth-anonymous=1" \
    --log-target=file:"$work/pulse/log" >/dev/null 2>&1 &
HALVIX_SERVICE_PIDS+=($!)
export PULSE_SERVER=unix:$work/pulse/native
wait_for 5 pactl info >/dev/null 2>&1 || { say "no sound server"; exit 1; }
channel=0
for id in "${nodes[@]}"; do
    pactl load-module module-remap-sink sink_name="$id" master=rec channels=1 channel_map=mono \
        master_channel_map="aux$channel" remix=no >/dev/null
    channel=$((channel + 1))
done

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
done
plan_every_day "$campus_dir/office" "${plan[@]}"
for id in "${nodes[@]}"; do campus_start "$id" PULSE_SERVER="$PULSE_SERVER" PULSE_SINK="$id"; done
pushed=$(campus_halvix office campus push)
say "主控: $pushed"
for id in "${nodes[@]}"; do
    wait_for 30 campus_status_has "$id" '"revision":1,' || { say "$id never applied the plan"; exit 1; }
done

parec -d rec.monitor --rate="$rate" --channels=3 --channel-map=aux0,aux1,aux2 --format=s16le \
    --latency-msec=20 >"$work/rec.raw" &
recorder=$!
sleep_until $((first + 12 * entries + 3))
kill -INT "$recorder"
wait "$recorder" 2>/dev/null || true

# Each channel's onsets, then the spread of each entry's three.
for ((c = 0; c < 3; ++c)); do
    python3 - "$work/rec.raw" "$c" <<'PY' >"$work/ch$c.raw"
import array, sys
samples = array.array("h")
data = open(sys.argv[1], "rb").read()
samples.frombytes(data[:len(data) // 6 * 6])
sys.stdout.buffer.write(samples[int(sys.argv[2])::3].tobytes())
PY
    python3 "$lib/onsets.py" "$work/ch$c.raw" "$rate" 0 | cut -d' ' -f1 >"$work/onsets$c.txt"
done
spreads=$(paste "$work/onsets0.txt" "$work/onsets1.txt" "$work/onsets2.txt" |
    awk 'NF == 3 { lo = $1; hi = $1; for (i = 2; i <= 3; ++i) { if ($i < lo) lo = $i; if ($i > hi) hi = $i }
                   printf "%.1f\n", (hi - lo) * 1000 }')
heard=$(wc -l <"$work/onsets0.txt")/$(wc -l <"$work/onsets1.txt")/$(wc -l <"$work/onsets2.txt")
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
fired=$(paste "$work/fired-b1.txt" "$work/fired-b2.txt" "$work/fired-b3.txt" |
    awk 'NF == 3 { lo = $1; hi = $1; for (i = 2; i <= 3; ++i) { if ($i < lo) lo = $i; if ($i > hi) hi = $i }
                   print hi - lo }')
say "firing spreads (ms, from the ring logs): $(echo $fired)"
largest=$(echo "$spreads" | sort -n | tail -1)
figure_row "campus: onsets of one entry on three buildings, $entries entries (one recording, a channel a building)" \
    "largest spread $largest ms (median $(median $spreads) ms); firing $(echo "$fired" | sort -n | tail -1) ms at most" \
    "–" "within 10 ms"
