#!/usr/bin/env bash
# Three buildings ring one shared plan, each from its own copy by its own clock, with a real broker
# (TLS, one certificate each) and each building headless on a null sink of its own, recorded:
#   - the plan the 主控 publishes reaches every building, which reports its revision within 2 s
#     and rings by the plan's term (秋季) from then on, not by the one it started with (春季);
#   - a plan with a sound whose bytes do not match their hash, a sound named with "..", or a table
#     that is not shared is refused whole, its reason in the building's status; the previous plan
#     rings on;
#   - an entry rings on all three at its second, the onsets within 30 ms of one another;
#   - the broker stopped 10 s before an entry: all three still ring it; the broker back, their
#     status returns.
# Needs a PulseAudio server (brings its own when run alone). Environment: HALVIX_APP_DIR,
# HALVIX_BUILD_DIR, HALVIX_SNAPSHOT_FILES.
set -uo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
use_campus
three_buildings
# Every day's plan the same.
start_real=$(campus_real 10:00:00)
for id in "${nodes[@]}"; do
    campus_folder "$id" || exit 1
    daily_spring "$campus_dir/$id" 0
    plan_every_day "$campus_dir/$id" "07:00:00 上课.mp3"
    campus_sink "$id" || exit 1
done
# The 主控's plan: entry A with the broker up, entry B with the broker stopped 10 s before it.
copy_program_folder "$HALVIX_APP_DIR" "$work/plan"
daily_spring "$work/plan" 0
sqlite3 "$work/plan/jbase.mdb" "delete from jjtime; insert into jjtime values ('2');"
plan_every_day "$work/plan" "10:00:55 上课.mp3" "10:01:30 下课.mp3"
"$HALVIX_SNAPSHOT_FILES" "$work/plan" 1 "$work/rev1" || exit 1

campus_record "${nodes[@]}"
for id in "${nodes[@]}"; do campus_start "$id"; done

for id in "${nodes[@]}"; do
    wait_for 20 campus_status_has "$id" '"online":true' && pass "$id online" || fail "$id never reported online"
done

# --- The plan reaches every building -------------------------------------------------------------
campus_listen "$work/statuses" office 'status/+'
campus_publish_snapshot office "$work/rev1"
for id in "${nodes[@]}"; do
    if wait_for 10 grep -q "status/$id .*\"revision\":1," "$work/statuses"; then
        reported=$(awk -v t="$campus_root/status/$id" '$2 == t && /"revision":1,/ { print $1; exit }' "$work/statuses")
        after=$(seconds_between "$campus_published" "$reported")
        within "$after" 0 2 && pass "$id reports revision 1 $after s after the publication" ||
            fail "$id reports revision 1 only $after s after the publication"
    else
        fail "$id never reports revision 1"
    fi
    wait_for 5 campus_status_has "$id" "日常, 秋季" && pass "$id rings by the plan's term" ||
        fail "$id rings by its own term: $(campus_status office "$id")"
done
campus_unlisten

# --- Spoilt plans are refused whole ---------------------------------------------------------------
# spoilt WHAT PYTHON EXPECTED: revision 2 with the snapshot changed by PYTHON (on `s`), published;
# every building refuses it with EXPECTED in its status and stays at revision 1.
spoilt() {
    rm -rf "$work/rev2"
    cp -a "$work/rev2-base" "$work/rev2"
    python3 - "$work/rev2/snapshot.json" <<PY || return 1
import json, sys
s = json.load(open(sys.argv[1]))
$2
json.dump(s, open(sys.argv[1], "w"), ensure_ascii=False)
PY
    campus_publish_snapshot office "$work/rev2"
    local id
    for id in "${nodes[@]}"; do
        if wait_for 10 campus_status_has "$id" "$3"; then
            campus_status_has "$id" '"revision":1,' && pass "$1: $id refused it and stays at revision 1" ||
                fail "$1: $id no longer at revision 1: $(campus_status office "$id")"
        else
            fail "$1: $id does not show the refusal: $(campus_status office "$id")"
        fi
    done
}
cp "$work/plan/voic/下课.mp3" "$work/plan/voic/新铃.mp3" && echo extra >>"$work/plan/voic/新铃.mp3"
"$HALVIX_SNAPSHOT_FILES" "$work/plan" 2 "$work/rev2-base" || exit 1
new_hash=$(sha256sum "$work/plan/voic/新铃.mp3" | cut -d' ' -f1)
echo "not the bell" >"$work/rev2-base/sound/$new_hash"
spoilt "bytes that do not match their hash" "" "SHA-256"
rm -f "$work/rev2-base/sound/$new_hash"
spoilt "a sound named with .." 's["sounds"][0]["name"] = "../../" + s["sounds"][0]["name"]' ".."
spoilt "a table that is not shared" 's["tables"].append({"name": "users", "columns": ["a"], "rows": []})' "users"
# The central's retained plan is the last good one again, as a 主控 would leave it.
campus_publish_snapshot office "$work/rev1"

# --- Entry A rings everywhere at its second; the broker stops; entry B rings everywhere ------------
sleep_until $(($(campus_real 10:01:30) - 10))
campus_broker_stop
sleep_until $(($(campus_real 10:01:30) + 6))
campus_stop_recording "${nodes[@]}"
for entry in 10:00:55 10:01:30; do
    due=$(campus_real "$entry")
    onsets=()
    for id in "${nodes[@]}"; do
        onset=$(campus_onsets "$id" | awk -v d="$due" '$1 > d - 1 && $1 < d + 3 { print $1; exit }')
        if [ -z "$onset" ]; then
            fail "$id did not ring the entry at $entry"
            continue
        fi
        late=$(seconds_between "$due" "$onset")
        within "$late" -0.2 1.0 && pass "$id rang $entry $late s after its second" || fail "$id rang $entry $late s after its second"
        onsets+=("$onset")
    done
    if [ ${#onsets[@]} -eq 3 ]; then
        spread=$(printf '%s\n' "${onsets[@]}" | sort -n | awk 'NR == 1 { a = $1 } { b = $1 } END { printf "%.3f", b - a }')
        within "$spread" 0 0.030 && pass "the three onsets of $entry lie within $spread s" ||
            fail "the three onsets of $entry lie $spread s apart"
    fi
done
for id in "${nodes[@]}"; do
    count=$(campus_onsets "$id" | wc -l)
    [ "$count" -eq 2 ] && pass "$id rang nothing else" || fail "$id: $count sounds: $(campus_onsets "$id" | tr '\n' ' ')"
done

# --- The broker back: every building's status returns ---------------------------------------------
campus_broker_start || exit 1
restarted_ms=$((($(date +%s) + campus_offset) * 1000))
fresh() { campus_status office "$1" | python3 -c 'import json, sys; s = json.load(sys.stdin); sys.exit(not (s["online"] and s["sentMs"] >= int(sys.argv[1])))' "$restarted_ms" 2>/dev/null; }
for id in "${nodes[@]}"; do
    wait_for 40 fresh "$id" && pass "$id reports again after the broker came back" || fail "$id silent after the broker came back"
done
for id in "${nodes[@]}"; do
    rows=$(sqlite3 "$campus_dir/$id/ringlog.db" "select count(*) from ringlog where 计划时间 in ('10:00:55', '10:01:30') and 结果 = '已响铃'")
    [ "$rows" = 2 ] && pass "$id logged both entries as 已响铃" || fail "$id logged $rows rung entries"
done

campus_finish "${nodes[@]}"
