#!/usr/bin/env bash
# A building puts back the sounds of the plan it holds, with a real broker (TLS, one certificate
# each), the real 主控 and the building headless on a null sink of its own, recorded:
#   - started with one sound of its revision deleted and another overwritten with garbage, it fetches
#     both from the broker and puts them back without a new revision (its status, `campus status`
#     and the 主控's `campus nodes` keep revision 1; both files' SHA-256 right again), says so once
#     each, and rings the repaired sounds at their entries;
#   - a sound damaged while it runs is put back when the snapshot is offered again;
#   - a sound the broker lacks is a problem in its status, in `campus status` and in `campus nodes`.
# Needs a PulseAudio server (brings its own when run alone). Environment: HALVIX_APP_DIR,
# HALVIX_BUILD_DIR, HALVIX_SNAPSHOT_FILES.
set -uo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
use_campus
campus_up "$work/campus" --central office --name 办公室 --node b1 --name 教学楼 || exit 1
campus_clock "$(date -d tomorrow +%F) 10:00:00"
for id in office b1; do
    campus_folder "$id" || exit 1
    daily_spring "$campus_dir/$id" 0
done
plan_every_day "$campus_dir/office" "10:00:40 上课.mp3" "10:00:55 下课.mp3"
plan_every_day "$campus_dir/b1" "07:00:00 上课.mp3"
for id in b1 office; do campus_sink "$id" || exit 1; done
campus_start office
campus_start b1
wait_for 30 campus_status_has b1 '"revision":1,' && pass "b1 took the 主控's plan" || fail "b1 never took the 主控's plan"

central_voic=$campus_dir/office/voic
voic=$campus_dir/b1/voic
same_as_central() { cmp -s "$central_voic/$1" "$voic/$1"; }
repairs_of() { grep -c "已修复声音文件.*$1" "$campus_dir/b1.txt"; }

# --- Damaged while it was off: put back at its start ------------------------------------------------
campus_kill b1
rm "$voic/上课.mp3"
head -c "$(stat -c %s "$voic/下课.mp3")" /dev/urandom >"$voic/下课.mp3"
campus_record b1
campus_start b1
if wait_for 20 same_as_central 上课.mp3 && wait_for 10 same_as_central 下课.mp3; then
    pass "both sounds are whole again: $(sha256sum "$voic/上课.mp3" "$voic/下课.mp3" | cut -c1-12 | tr '\n' ' ')"
else
    fail "the sounds were not put back"
fi
sleep 1
[ "$(repairs_of '上课.mp3 (缺失)')" = 1 ] && [ "$(repairs_of '下课.mp3 (已损坏)')" = 1 ] &&
    pass "the repairs were told once each: $(grep -h 已修复声音文件 "$campus_dir/b1.txt" | cut -d' ' -f3- | tr '\n' ' ')" ||
    fail "repairs told: $(grep 已修复声音文件 "$campus_dir/b1.txt")"
status=$(campus_halvix b1 campus status)
[[ $status == *"已应用的版本: 1"* ]] && campus_status_has b1 '"revision":1,' &&
    pass "b1 still holds revision 1" || fail "b1's revision: $status / $(campus_status office b1)"
nodes=$(campus_halvix office campus nodes)
[[ $(grep '^b1' <<<"$nodes") == *$'\t'"1 同步"$'\t'* ]] && pass "the 主控 sees b1 at revision 1, in sync" ||
    fail "campus nodes: $nodes"

sleep_until $(($(campus_real 10:00:55) + 6))
campus_stop_recording b1
for entry in "10:00:40 上课.mp3" "10:00:55 下课.mp3"; do
    due=$(campus_real "${entry%% *}") onset="" length=""
    read -r onset length < <(campus_onsets b1 | awk -v d="$due" '$1 > d - 1 && $1 < d + 3 { print; exit }')
    expected=$(soxi -D "$central_voic/${entry#* }")
    if [ -n "${onset:-}" ] && within "$(seconds_between "$due" "$onset")" -0.2 1.0 &&
        within "$(seconds_between "$expected" "$length")" -0.3 0.3; then
        pass "the repaired ${entry#* } rang $(seconds_between "$due" "$onset") s after its second, $length s of $expected s"
    else
        fail "${entry#* } at ${entry%% *}: onset ${onset:-none}, $length s of $expected s: $(campus_onsets b1 | tr '\n' ' ')"
    fi
done

# --- Damaged while it runs: put back when the snapshot comes again ------------------------------------
echo garbage >"$voic/上课.mp3"
campus_republish_snapshot
wait_for 15 same_as_central 上课.mp3 && [ "$(repairs_of '上课.mp3 (已损坏)')" = 1 ] &&
    pass "a sound damaged while b1 runs is put back when the snapshot is offered again" ||
    fail "not put back while running: $(grep 已修复声音文件 "$campus_dir/b1.txt")"

# --- A sound the broker lacks: a problem wherever the building's state is read ---------------------------
campus_forget_sound "$central_voic/下课.mp3"
rm "$voic/下课.mp3"
campus_republish_snapshot
lacking="下课.mp3 缺失, 校园服务器没有它的内容, 无法修复"
if wait_for 20 campus_status_has b1 "$lacking"; then
    pass "b1's status says: $lacking"
    [[ $(campus_halvix b1 campus status) == *"$lacking"* ]] && pass "so does campus status" ||
        fail "campus status: $(campus_halvix b1 campus status)"
    [[ $(campus_halvix office campus nodes | grep '^b1') == *"$lacking"* ]] && pass "and the 主控's campus nodes" ||
        fail "campus nodes: $(campus_halvix office campus nodes)"
else
    fail "no problem in b1's status: $(campus_status office b1)"
fi
campus_status_has b1 '"revision":1,' && pass "b1 still at revision 1" || fail "b1's status: $(campus_status office b1)"

campus_finish office b1
