#!/usr/bin/env bash
# The duty office's web console in Debian's chromium, headless, against a real campus: the broker as
# campus-setup.sh configures it (TLS, staff accounts), the 主控 and two buildings, b1 in zone lab and
# b2 in zone teach, each the real program headless on a sound server of its own, recorded.
# web_console.js drives the page and notes the real second of each action in a marks file; what the
# buildings played then is judged here from the recordings:
#   - 立即播放 on b1 from the page sounds on b1 within 2 s and not on b2; so it does from a PC whose
#     clock is a minute slow, and from one a minute fast;
#   - the read-only account's forged 立即播放 sounds nowhere;
#   - the plan's entry rings on b1 at its second;
#   - 紧急广播 on zone lab, its sound in no plan of the day, sounds on b1 within 1 s and loops there with no gap over 1 s, b2 stays
#     quiet; 解除 silences b1 within 1 s.
# The browser trusts the campus's authority as an office PC would (its certificate store), not by
# ignoring certificate errors. The programs run at the real time, as the browser does: a command's
# age is judged by the 主控's clock.
set -uo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
use_campus

node_modules=$HALVIX_BUILD_DIR/web/npm/node_modules
[ -f "$HALVIX_APP_DIR/web/index.html" ] && [ -d "$node_modules/playwright-core" ] ||
    { fail "the web console is not built (npm missing?)" && exit 1; }

# Every program rings one plan each day: not across midnight, where "today" changes under the test.
midnight=$(date -d 'tomorrow 00:00' +%s)
[ $((midnight - $(date +%s))) -lt 320 ] && sleep_until $((midnight + 5))

ws_port=$(free_port) page_port=$(free_port)
printf 'duty-secret\n' >"$work/duty.pass"
printf 'viewer-secret\n' >"$work/viewer.pass"
campus_up "$work/campus" --central office --name 办公室 --node b1 --name 实验楼 --zones lab:实验楼 \
    --node b2 --name 教学楼 --zones teach:教学楼 \
    --ws-port "$ws_port" --page-port "$page_port" --web "$HALVIX_APP_DIR/web" \
    --staff duty:值班 --password-file "$work/duty.pass" --staff viewer:只读 --password-file "$work/viewer.pass" \
    --staff it:管理员 --password-file "$work/duty.pass" || exit 1
files=$campus_dir/files

# The set-up refuses what would leave a console nobody can use, each with its reason, and a run
# that names an account again without a password keeps the one it has (and the page it serves).
web=$HALVIX_APP_DIR/web
while IFS='|' read -r options reason; do
    read -ra options <<<"$options"
    said=$(campus_files "$files" "$campus_port" --central office --node b1 --ws-port "$ws_port" "${options[@]}" </dev/null 2>&1) &&
        fail "set-up took ${options[*]}" ||
        { [[ $said == *"$reason"* ]] && pass "set-up refuses ${options[*]}" || fail "set-up said: $said"; }
done <<TABLE
--page-port $page_port --web $web --staff boss:校长|角色为 管理员、值班 或 只读
--page-port $page_port --web $web --staff b1:只读 --password-file $work/duty.pass|员工账号与编号重复
--page-port $page_port --web $web --staff newcomer:值班|员工 newcomer 缺少密码
--page-port $ws_port --web $web --staff duty:值班|--ws-port 需要 --page-port
--page-port $page_port --web $work --staff duty:值班|需要 --web
TABLE
hash_before=$(grep '^duty:' "$files/broker/passwd")
campus_files "$files" "$campus_port" --central office --name 办公室 --node b1 --name 实验楼 --zones lab:实验楼 \
    --node b2 --name 教学楼 --zones teach:教学楼 \
    --ws-port "$ws_port" --page-port "$page_port" --web "$files/broker/web" \
    --staff duty:值班 --staff viewer:只读 --password-file "$work/viewer.pass" --staff it:管理员 </dev/null
[ "$(grep '^duty:' "$files/broker/passwd")" = "$hash_before" ] && [ "$(grep -c . "$files/broker/passwd")" = 3 ] &&
    pass "a run without a new password keeps the account's" || fail "passwd after the second run: $(cat "$files/broker/passwd")"
# The broker started again reads them (a SIGHUP would too, but not while it is still starting); the
# page's server goes on.
campus_broker_stop
campus_broker_start || exit 1

# The plan: 上课.mp3 rings everywhere once during the run (the ring-log rows and plan statuses the
# page shows); the alarm, a 2 kHz tone, is in voic/ alone, in no plan.
campus_clock
entry=$(($(date +%s) + 130))
for id in office b1 b2; do
    campus_folder "$id" || exit 1
    daily_spring "$campus_dir/$id" 0
    plan_every_day "$campus_dir/$id" "$(date -d "@$entry" +%T) 上课.mp3 第一节上课" "23:59:59 voic\\课间操 课间操"
    sox -n -r 44100 -c 2 "$campus_dir/$id/voic/警报.wav" synth 1.3 sine 2000 vol 0.5 || exit 1
    campus_sink "$id" || exit 1
done
campus_record b1 b2
for id in office b1 b2; do campus_start "$id"; done
for id in b1 b2; do
    wait_for 30 campus_status_has "$id" '"revision":1,' || fail "$id never took the 主控's plan: $(campus_status office "$id")"
done

export HOME=$work/home
campus_browser_home "$HOME" || exit 1

marks=$work/marks
WEB_PAGE="https://127.0.0.1:$page_port/" WEB_CAMPUS=$files WEB_SHOTS=${WEB_SHOTS:-} WEB_PORT=$campus_port WEB_ARTIFACTS=$artifacts \
    WEB_BROKER_PID=$HALVIX_BROKER_PID WEB_MARKS=$marks WEB_ENTRY=$entry NODE_PATH=$node_modules \
    timeout 300 node "$e2e_dir/web_console.js" || fail "the console in the browser"
# The broker the driver restarted.
[ -f "$files/broker.pid" ] && HALVIX_SERVICE_PIDS+=("$(cat "$files/broker.pid")")
sleep 1 # the last sound in
campus_stop_recording b1 b2

# --- What the buildings played -----------------------------------------------------------------------
mark() { awk -v n="$1" '$1 == n { print $2 }' "$marks"; }
plus() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a + b }'; }
# heard ID FROM TO: when the building first sounded between two real seconds (-1: it did not).
heard() { campus_quiet "$1" "$2" "$3" | awk '{ print ($2 < 0 ? -1 : $2) }'; }
# longest_quiet ID FROM TO
longest_quiet() { campus_quiet "$1" "$2" "$3" | awk '{ print $1 }'; }
# after what: a check on the recordings needs the mark of what the page did.
after() { [ -n "$(mark "$1")" ] || { fail "the page never did: $1" && false; }; }

if after play; then
    play=$(mark play)
    first=$(heard b1 "$play" "$(plus "$play" 4)")
    within "$first" 0 2 && pass "立即播放 from the page sounded on b1 $first s after the click" ||
        fail "b1 after 立即播放: first sound at $first"
    [ "$(heard b2 "$(plus "$play" -1)" "$(plus "$play" 6)")" = -1 ] && pass "and not on b2" || fail "b2 sounded after b1's 立即播放"
fi
for skew in slow fast; do
    if after "skew-$skew"; then
        at=$(mark "skew-$skew")
        first=$(heard b1 "$at" "$(plus "$at" 4)")
        within "$first" 0 2 && pass "立即播放 from a PC a minute $skew sounded on b1 $first s after the click" ||
            fail "b1 after 立即播放 from the PC a minute $skew: first sound at $first"
    fi
done
if after forged; then
    forged=$(mark forged)
    [ "$(heard b1 "$forged" "$(plus "$forged" 4)")" = -1 ] && pass "the read-only account's forged 立即播放 sounded nowhere" ||
        fail "b1 sounded after the forged publish"
fi
first=$(heard b1 "$((entry - 1))" "$((entry + 3))")
within "$first" 0.8 2 && pass "b1 rang its plan's entry at its second" || fail "b1 rang the plan's entry at $first s"
if after emergency && after cleared; then
    emergency=$(mark emergency) cleared=$(mark cleared)
    first=$(heard b1 "$emergency" "$cleared")
    if within "$first" 0 1; then
        pass "紧急广播 on zone lab sounded on b1 $first s after the confirmation"
        gap=$(longest_quiet b1 "$(plus "$emergency" "$first")" "$cleared")
        within "$gap" 0 1 && pass "and looped there, its longest gap $gap s" || fail "the alarm on b1 paused $gap s"
    else
        fail "b1 after 紧急广播: first sound at $first"
    fi
    [ "$(heard b2 "$emergency" "$cleared")" = -1 ] && pass "b2, in another zone, stayed quiet" ||
        fail "b2 sounded during the emergency on zone lab"
    [ "$(heard b1 "$(plus "$cleared" 1)" "$(plus "$cleared" 4)")" = -1 ] && pass "解除 silenced b1 within 1 s" ||
        fail "b1 still sounded after 解除"
fi

campus_finish office b1 b2
