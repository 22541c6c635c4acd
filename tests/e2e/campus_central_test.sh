#!/usr/bin/env bash
# The 主控 and three buildings, all the real program, headless, each building on a sound server of
# its own, recorded:
#   - an entry added on the 主控 (its tables changed, then an import that reloads the running
#     program, as a save does) reaches every building, which reports the new revision within 2 s;
#   - it rings on all three at its second, the onsets within 30 ms of one another;
#   - the 主控's `campus nodes` shows a building killed (SIGKILL) offline within 1.5 keepalives.
# Needs a PulseAudio server (brings its own when run alone). Environment: HALVIX_APP_DIR,
# HALVIX_BUILD_DIR, HALVIX_SNAPSHOT_FILES.
set -uo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
use_campus
three_buildings
for id in office "${nodes[@]}"; do
    campus_folder "$id" || exit 1
    daily_spring "$campus_dir/$id" 0
    plan_every_day "$campus_dir/$id" "07:00:00 上课.mp3"
    campus_sink "$id" || exit 1
done
campus_record "${nodes[@]}"
for id in office "${nodes[@]}"; do campus_start "$id"; done
revision_of() {
    campus_status office "$1" | python3 -c 'import json, sys; print(json.load(sys.stdin).get("revision", 0))' 2>/dev/null
}
has_revision() { [ "$(revision_of "$1")" -ge "$2" ] 2>/dev/null; }
for id in "${nodes[@]}"; do
    wait_for 30 has_revision "$id" 1 && pass "$id took the 主控's plan at start" || fail "$id never took the 主控's plan"
done
before=$(revision_of b1)

# --- An entry added on the 主控 --------------------------------------------------------------------
campus_listen "$work/statuses" office 'status/+'
saved=$(now)
plan_every_day "$campus_dir/office" "07:00:00 上课.mp3" "10:00:45 上课.mp3"
campus_halvix office export cjtime "$work/cjtime.csv" >/dev/null
out=$(campus_halvix office import cjtime "$work/cjtime.csv") || fail "import on the 主控: $out"
for id in "${nodes[@]}"; do
    if wait_for 10 grep -q "status/$id .*\"revision\":$((before + 1))," "$work/statuses"; then
        reported=$(awk -v t="$campus_root/status/$id" -v r="\"revision\":$((before + 1))," '$2 == t && index($0, r) { print $1; exit }' "$work/statuses")
        after=$(seconds_between "$saved" "$reported")
        within "$after" 0 2 && pass "$id reports revision $((before + 1)) $after s after the save" ||
            fail "$id reports the new revision $after s after the save"
    else
        fail "$id never reports revision $((before + 1)): $(campus_status office "$id")"
    fi
done
campus_unlisten

sleep_until $(($(campus_real 10:00:45) + 6))
campus_stop_recording "${nodes[@]}"
due=$(campus_real 10:00:45)
onsets=()
for id in "${nodes[@]}"; do
    onset=$(campus_onsets "$id" | awk -v d="$due" '$1 > d - 1 && $1 < d + 3 { print $1; exit }')
    [ -n "$onset" ] && onsets+=("$onset") && pass "$id rang the new entry $(seconds_between "$due" "$onset") s after its second" ||
        fail "$id did not ring the new entry"
done
if [ ${#onsets[@]} -eq 3 ]; then
    spread=$(printf '%s\n' "${onsets[@]}" | sort -n | awk 'NR == 1 { a = $1 } { b = $1 } END { printf "%.3f", b - a }')
    within "$spread" 0 0.030 && pass "the three onsets lie within $spread s" || fail "the three onsets lie $spread s apart"
fi

# --- A building killed is offline on the 主控 -------------------------------------------------------
shows_offline() { { campus_halvix office campus nodes || :; } | grep -q "^b3"$'\t'".*"$'\t'"离线"$'\t'; }
shows_offline && fail "b3 offline before it was killed"
killed=$(now)
campus_kill b3 KILL
if wait_for $((campus_keepalive * 3 / 2 + 1)) shows_offline; then
    pass "campus nodes on the 主控 shows b3 offline $(seconds_between "$killed" "$(now)") s after SIGKILL"
    campus_halvix office campus nodes >/dev/null
    [ $? -eq 1 ] && pass "campus nodes exits 1 with a building offline" || fail "campus nodes exits 0 with b3 offline"
else
    fail "b3 not offline on the 主控: $(campus_halvix office campus nodes)"
fi

campus_finish office "${nodes[@]}"
