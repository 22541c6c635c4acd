#!/usr/bin/env bash
# Sounds are found only in the program folder's voic. A copy of the program folder whose Wednesday
# (12 March 2025) plan names a folder beside the program folder (../outside, 10:00:15) and a link
# in voic that leads to it (voic/链, 10:00:20), both holding a playable track: `check` names both,
# an import of such a row is refused, the headless bell rings neither and logs 缺少声音 with the
# reason, and `ring` refuses paths out of voic with the same answer whether or not they exist.
# Judged by the recorded sink: a sound rung from voic at the end is the only one heard.
# Needs a PulseAudio server. Environment: HALVIX_APP_DIR, HALVIX_BUILD_DIR.
set -uo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ensure_services

wednesday_entry 10:00:15 ../outside
mkdir -p "$work/outside"
cp "$app/voic/上课.mp3" "$work/outside/1.mp3"
ln -s "$work/outside" "$app/voic/链"
ln -s "$work/missing" "$app/voic/断"
sqlite3 "$app/jbase.mdb" "insert into zccjtime values ('2', '星期三', '10:00:20', '链', 'voic/链', '待完', '');" ||
    exit 1
halvix() { env -u DISPLAY "$app/halvix" "$@" 2>&1; }

out=$(halvix check 2025-03-12)
status=$?
if [ "$status" -eq 1 ] && grep -q '^10:00:15	.*	\.\./outside	缺少声音: .*"\.\."' <<<"$out" &&
    grep -q '^10:00:20	.*	voic/链	缺少声音: .*指向 voic 之外' <<<"$out"; then
    pass "check names both sounds as 缺少声音 with the reason"
else
    fail "check: status $status: $out"
fi

printf '序号,日期,时间,事件,声音,状态,备注,\r\n1,星期三,08:00,上课,上课.mp3,待完,,\r\n2,星期三,09:00,外,../outside,待完,,\r\n' \
    >"$work/outside.csv"
out=$(halvix import zccjtime "$work/outside.csv")
status=$?
rows=$(sqlite3 "$app/jbase.mdb" "select group_concat(声音, '|') from zccjtime")
if [ "$status" -eq 2 ] && grep -q '第3行' <<<"$out" && [ "$rows" = "../outside|voic/链" ]; then
    pass "an import naming ../outside is refused at its line and changes nothing ($out)"
else
    fail "import: status $status, rows $rows: $out"
fi

record_sink "$work/rec.raw" 22050
program_args=(--headless)
start_program_at "$app" "$artifacts/sounds-outside-output.txt" "2025-03-12 10:00:05" DISPLAY= WAYLAND_DISPLAY=
program_args=()
entry_real=$((entry_epoch - offset))
wait_for 20 eval 'halvix stop >/dev/null' || fail "the headless bell does not answer"

# Outside paths in pairs, the first exists and the second not: refused alike, the text aside.
ring_answer() {
    local out status
    out=$(halvix ring "$1")
    status=$?
    echo "$status ${out//"$1"/SOUND}"
}
for pair in "../outside ../missing" "$work/outside/1.mp3 $work/missing/1.mp3" \
    "../../../../../../etc ../../../../../../etc-missing" "voic/链 voic/断"; do
    read -r there missing <<<"$pair"
    answer=$(ring_answer "$there")
    if [[ "$answer" == "2 SOUND: "* ]] && [ "$answer" = "$(ring_answer "$missing")" ]; then
        pass "ring $there: refused as $missing is ($answer)"
    else
        fail "ring $there: $answer; ring $missing: $(ring_answer "$missing")"
    fi
done

sleep_until $((entry_real + 8))
asked=$(now)
out=$(halvix ring 上课.mp3) || fail "ring 上课.mp3: $out"
sleep 5
heard=$(stop_recording; onset_times)
if [ "$(grep -c . <<<"$heard")" -eq 1 ] && awk -v a="$asked" '{ exit !($1 > a - 0.2 && $1 < a + 1.5) }' <<<"$heard"; then
    pass "nothing sounded from outside voic; the ring from voic did ($heard)"
else
    fail "heard (onset, length) ${heard:-nothing}; only the ring at $asked was expected"
fi

log=$(halvix log)
for event in 第一节上课 链; do
    if grep -q "	$event	.*	缺少声音	" <<<"$log"; then pass "$event logged 缺少声音"; else fail "$event: $log"; fi
done
grep -q '已响铃' <<<"$log" && fail "an entry was logged 已响铃: $log"

kill -TERM "$program"
wait_for 15 program_ended || fail "the headless bell still runs 15 s after SIGTERM"
program=""
finish sounds-outside
