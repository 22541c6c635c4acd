#!/usr/bin/env bash
# Commands, vanishing buildings and refused identities, with a real broker and each building headless
# on a null sink of its own, recorded:
#   - a building killed (SIGKILL) is offline for the 主控 within 1.5 keepalives; restarted within its
#     entry's minute it is online at the same revision and rings nothing twice;
#   - 立即播放 to a building that is down: with 10 s expiry and the building back after 30 s nothing
#     plays; with 60 s and back after 5 s it plays exactly once, and again delivered it plays no more;
#   - 今日静音 sent while a building is down is applied when it returns: its entry logs 今日静音
#     and stays silent;
#   - a building without a sound server says so in its status, answers 立即播放 执行失败 with the
#     reason, and the 主控's `campus nodes` shows the problem (status 1);
#   - a building with a certificate of another authority, or speaking plain MQTT to the TLS port,
#     is not connected; a building cannot command another (the ACL refuses it) and nothing sounds.
# Needs a PulseAudio server (brings its own when run alone). Environment: HALVIX_APP_DIR,
# HALVIX_BUILD_DIR, HALVIX_SNAPSHOT_FILES.
set -uo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
use_campus
campus_up "$work/campus" --central office --name 办公室 --node b1 --name 教学楼 --zones teach:教学楼 \
    --node b2 --name 实验楼 --zones teach:教学楼 --node b3 --name 图书馆 || exit 1
campus_clock "$(date -d tomorrow +%F) 10:00:00"
copy_program_folder "$HALVIX_APP_DIR" "$work/plan"
daily_spring "$work/plan" 0
plan_every_day "$work/plan" "10:00:25 上课.mp3" "10:01:50 上课.mp3"
"$HALVIX_SNAPSHOT_FILES" "$work/plan" 1 "$work/rev1" || exit 1
for id in b1 b2; do
    campus_folder "$id" || exit 1
    campus_sink "$id" || exit 1
done
campus_publish_snapshot office "$work/rev1"
campus_record b1 b2
campus_start b1
campus_start b2

for id in b1 b2; do
    wait_for 20 campus_status_has "$id" '"revision":1,' && pass "$id online at revision 1" || fail "$id never reached revision 1"
done
campus_listen "$work/heard" office status/b1 'ack/+'

acked() { campus_acked "$work/heard" "$@"; }
# sounds_between ID FROM TO: the onsets on the building's sink between two real seconds.
sounds_between() { campus_onsets "$1" | awk -v a="$2" -v b="$3" '$1 >= a && $1 < b' | wc -l; }

# --- b1 killed after its 10:00:25 entry rang, a 10 s 立即播放 sent, b1 back 30 s later -------------
sleep_until $(($(campus_real 10:00:25) + 5))
killed=$(now)
campus_kill b1 KILL
if wait_for 10 grep -q 'status/b1 .*"online":false' "$work/heard"; then
    offline=$(awk '/status\/b1 .*"online":false/ { print $1; exit }' "$work/heard")
    after=$(seconds_between "$killed" "$offline")
    within "$after" 0 $((campus_keepalive * 3 / 2 + 1)) && pass "b1 offline $after s after SIGKILL (keepalive $campus_keepalive s)" ||
        fail "b1 offline only $after s after SIGKILL"
else
    fail "b1 never shown offline after SIGKILL"
fi
campus_command c-short b1 play 10 下课.mp3
sleep_until $(($(campus_real 10:00:30) + 30))
back=$(now)
campus_start b1
wait_for 15 campus_status_has b1 '"online":true' && campus_status_has b1 '"revision":1,' &&
    pass "b1 restarted is online at revision 1" || fail "b1 after the restart: $(campus_status office b1)"

# --- 今日静音 to b2 while it is down ----------------------------------------------------------------
campus_kill b2
campus_command c-mute b2 mute 50000 "$campus_date"
sleep 2
campus_start b2
wait_for 15 acked b2 c-mute 已静音 && pass "b2 applied 今日静音 sent while it was down" || fail "b2 did not answer 今日静音"

# --- A 60 s 立即播放 to b1 while it is down, b1 back after 5 s ------------------------------------
sleep 3
campus_kill b1 KILL
campus_command c-long b1 play 60 下课.mp3
sleep 5
long_back=$(now)
campus_start b1
wait_for 15 acked b1 c-long 已响铃 && pass "b1 played the 60 s command after coming back" || fail "b1 did not answer c-long"
campus_command c-long b1 play 60 下课.mp3 # the same command again: answered, not played
sleep_until $(($(campus_real 10:01:50) + 6))
campus_stop_recording b1 b2
campus_unlisten

grep -q 'ack/b1 .*"command":"c-short"' "$work/heard" && fail "the expired command was answered: $(grep c-short "$work/heard")" ||
    pass "the expired command never reached b1"
[ "$(sounds_between b1 "$back" "$long_back")" -eq 0 ] &&
    pass "b1 rang nothing after its restart within the entry's minute, nor the expired 立即播放" ||
    fail "b1 sounded after its restart: $(campus_onsets b1 | tr '\n' ' ')"
[ "$(sounds_between b1 "$long_back" "$(campus_real 10:01:49)")" -eq 1 ] && pass "b1 played the 60 s command exactly once" ||
    fail "b1 sounds after the 60 s command: $(campus_onsets b1 | tr '\n' ' ')"
[ "$(grep -c 'ack/b1 .*"command":"c-long"' "$work/heard")" -eq 2 ] && pass "the repeated command was answered again" ||
    fail "answers to c-long: $(grep -c 'c-long' "$work/heard")"
[ "$(sounds_between b2 "$(campus_real 10:01:49)" "$(campus_real 10:01:55)")" -eq 0 ] && pass "b2's muted entry stayed silent" ||
    fail "b2 rang its muted entry"
[ "$(sqlite3 "$campus_dir/b2/ringlog.db" "select 结果 from ringlog where 计划时间 = '10:01:50'")" = 今日静音 ] &&
    pass "b2 logged its entry as 今日静音" || fail "b2's log: $(sqlite3 "$campus_dir/b2/ringlog.db" "select * from ringlog")"
[ "$(sqlite3 "$campus_dir/b1/ringlog.db" "select count(*) from ringlog where 计划时间 = '10:00:25'")" = 1 ] &&
    pass "b1 logged its 10:00:25 entry once" || fail "b1's log: $(sqlite3 "$campus_dir/b1/ringlog.db" "select * from ringlog")"

# --- Identities and the ACL ------------------------------------------------------------------------
campus_record b2
forged=$(campus_as b1 mosquitto_pub -q 1 -t "$campus_root/cmd/node/b2" \
    -m "{\"format\":1,\"id\":\"forged\",\"target\":\"node:b2\",\"kind\":\"play\",\"sound\":\"上课.mp3\",\"issuedMs\":$(campus_now_ms),\"expiry\":60}" 2>&1)
sleep 4
campus_stop_recording b2
[[ $forged == *"Not authorized"* ]] && [ "$(campus_onsets b2 | wc -l)" -eq 0 ] &&
    pass "b1's 立即播放 on b2's topic was refused and nothing sounded" || fail "forged command: $forged; b2: $(campus_onsets b2)"

# --- b2 without a sound server -----------------------------------------------------------------------
campus_kill b2
campus_start b2 PULSE_SERVER="unix:$work/nowhere/native"
wait_for 15 campus_status_has b2 '声音输出: 无法连接声音服务器' && pass "b2's status says no sound can come out" ||
    fail "b2's status without a sound server: $(campus_status office b2)"
campus_listen "$work/silent" office 'ack/+'
asked=$(now)
campus_command c-silent b2 play 10 上课.mp3
if wait_for 20 grep -q 'ack/b2 .*"command":"c-silent"' "$work/silent"; then
    ack=$(grep -m1 'ack/b2 .*"command":"c-silent"' "$work/silent")
    took=$(seconds_between "$asked" "$(cut -d' ' -f1 <<<"$ack")")
    [[ $ack == *'"result":"执行失败"'* && $ack == *'"detail":"无声音输出: 无法连接声音服务器'* ]] &&
        pass "b2 answered 立即播放 $took s after it was sent: ${ack#* }" || fail "b2's answer: $ack"
else
    fail "b2 did not answer 立即播放"
fi
campus_unlisten
campus_folder office || exit 1
nodes=$(campus_halvix office campus nodes)
status=$?
[ "$status" -eq 1 ] && [[ $(grep '^b2' <<<"$nodes") == *"声音输出: 无法连接声音服务器"* ]] &&
    [[ $(grep '^b1' <<<"$nodes") != *"声音输出"* ]] && pass "campus nodes shows b2's problem, status 1" ||
    fail "campus nodes: status $status: $nodes"
campus_kill b2

campus_files "$work/stranger" "$campus_port" --central office --node b3
campus_folder b3 || exit 1
cp "$work/stranger/nodes/b3/certs/b3."* "$campus_dir/b3/certs/"
campus_sink b3
campus_start b3
sleep 6
status=$(campus_halvix b3 campus status)
[ $? -eq 1 ] && [[ $status == *"未连接"* ]] && pass "a certificate of another authority is refused: ${status//$'\n'/ | }" ||
    fail "b3 with a stranger's certificate: $status"
campus_kill b3
sed -i -e 's|^broker = mqtts://|broker = mqtt://|' -e '/^\(ca\|cert\|key\) = /d' "$campus_dir/b3/campus.ini"
printf 'user = b3\npassword_file = certs/b3.pass\n' >>"$campus_dir/b3/campus.ini"
echo a-password >"$campus_dir/b3/certs/b3.pass" && chmod 600 "$campus_dir/b3/certs/b3.pass"
campus_start b3
sleep 6
status=$(campus_halvix b3 campus status)
[ $? -eq 1 ] && [[ $status == *"未连接"* ]] && pass "plain MQTT to the TLS port is refused" || fail "b3 in plain MQTT: $status"
status=$(campus_halvix b1 campus status)
[ $? -eq 0 ] && [[ $status == *"已连接"* && $status == *"已应用的版本: 1"* ]] && pass "campus status on b1: ${status//$'\n'/ | }" ||
    fail "campus status on b1: $status"
campus_kill b1
status=$(campus_halvix b1 campus status)
[ $? -eq 3 ] && [[ $status == *"没有运行中的程序"* && $status == *"已应用的版本: 1"* ]] &&
    pass "campus status without a running program names the stored revision" || fail "campus status, b1 ended: $status"

campus_finish b1 b2 b3
