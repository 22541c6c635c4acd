#!/usr/bin/env bash
# The duty office's web console in Debian's chromium, headless, against the campus broker as
# campus-setup.sh configures it: building b1 answers every command it gets, b2 answers none. The
# browser trusts the campus's authority as an office PC would (its certificate store), not by
# ignoring certificate errors. web_console.js drives the page.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
source "$HALVIX_LIB/broker.sh"

root=halvix/test
node_modules=$HALVIX_BUILD_DIR/web/npm/node_modules
[ -f "$HALVIX_APP_DIR/web/index.html" ] && [ -d "$node_modules/playwright-core" ] && [ -x "$HALVIX_BUILD_DIR/tests/halvix_read_wire" ] ||
    { fail "the web console (npm missing?) or halvix_read_wire is not built" && exit 1; }

port=$(free_port) ws_port=$(free_port) page_port=$(free_port)
printf 'duty-secret\n' >"$work/duty.pass"
printf 'viewer-secret\n' >"$work/viewer.pass"
campus_files "$work/campus" "$port" --central office --node b1 --zones lab:实验楼 --node b2 --zones teach:教学楼 \
    --ws-port "$ws_port" --page-port "$page_port" --web "$HALVIX_APP_DIR/web" \
    --staff duty:值班 --password-file "$work/duty.pass" --staff viewer:只读 --password-file "$work/viewer.pass" \
    --staff it:管理员 --password-file "$work/duty.pass"
start_broker "$work/campus" "$port" || exit 1

# The set-up refuses what would leave a console nobody can use, each with its reason, and a run
# that names an account again without a password keeps the one it has (and the page it serves).
web=$HALVIX_APP_DIR/web
while IFS='|' read -r options reason; do
    read -ra options <<<"$options"
    said=$(campus_files "$work/campus" "$port" --central office --node b1 --ws-port "$ws_port" "${options[@]}" </dev/null 2>&1) &&
        fail "set-up took ${options[*]}" ||
        { [[ $said == *"$reason"* ]] && pass "set-up refuses ${options[*]}" || fail "set-up said: $said"; }
done <<TABLE
--page-port $page_port --web $web --staff boss:校长|角色为 管理员、值班 或 只读
--page-port $page_port --web $web --staff b1:只读 --password-file $work/duty.pass|员工账号与编号重复
--page-port $page_port --web $web --staff newcomer:值班|员工 newcomer 缺少密码
--page-port $ws_port --web $web --staff duty:值班|--ws-port 需要 --page-port
--page-port $page_port --web $work --staff duty:值班|需要 --web
TABLE
hash_before=$(grep '^duty:' "$work/campus/broker/passwd")
campus_files "$work/campus" "$port" --central office --node b1 --zones lab:实验楼 --node b2 --zones teach:教学楼 \
    --ws-port "$ws_port" --page-port "$page_port" --web "$work/campus/broker/web" \
    --staff duty:值班 --staff viewer:只读 --password-file "$work/viewer.pass" --staff it:管理员 </dev/null
[ "$(grep '^duty:' "$work/campus/broker/passwd")" = "$hash_before" ] && [ "$(grep -c . "$work/campus/broker/passwd")" = 3 ] &&
    pass "a run without a new password keeps the account's" || fail "passwd after the second run: $(cat "$work/campus/broker/passwd")"
kill -HUP "$HALVIX_BROKER_PID" # the broker reads its password file and ACL again

export HOME=$work/home
mkdir -p "$HOME/.pki/nssdb"
certutil -d "sql:$HOME/.pki/nssdb" -N --empty-password
certutil -d "sql:$HOME/.pki/nssdb" -A -t "C,," -n "halvix test campus" -i "$work/campus/broker/ca.crt"

# Building b1: records every command it gets, reads it with a node's own reader and answers as a
# node does: 已拒绝 with the reader's reason when it refuses it.
read_wire=$HALVIX_BUILD_DIR/tests/halvix_read_wire
certs=$work/campus/nodes/b1/certs
mosquitto_sub -h 127.0.0.1 -p "$port" -V mqttv5 --cafile "$certs/ca.crt" --cert "$certs/b1.crt" --key "$certs/b1.key" \
    -q 1 -t "$root/cmd/node/b1" -t "$root/cmd/zone/lab" -t "$root/cmd/all" 2>/dev/null |
    while IFS= read -r command; do
        printf '%s\n' "$command" >>"$work/b1.commands"
        refusal=$("$read_wire" command <<<"$command")
        answer=$(python3 -c '
import json, sys
c, refusal = json.loads(sys.argv[1]), sys.argv[2]
result = "已拒绝" if refusal else {"play": "已响铃", "stop": "已停止", "mute": "已静音", "unmute": "已恢复响铃"}[c["kind"]]
print(json.dumps({"format": 1, "node": "b1", "command": c.get("id", "?"), "result": result, "detail": refusal, "atMs": 0}))
' "$command" "$refusal" 2>/dev/null) || continue
        mosquitto_pub -h 127.0.0.1 -p "$port" -V mqttv5 --cafile "$certs/ca.crt" --cert "$certs/b1.crt" \
            --key "$certs/b1.key" -q 1 -t "$root/ack/b1" -m "$answer"
    done &
HALVIX_SERVICE_PIDS+=($!)

WEB_PAGE="http://127.0.0.1:$page_port/" WEB_CAMPUS=$work/campus WEB_PORT=$port WEB_ARTIFACTS=$artifacts \
    WEB_BROKER_PID=$HALVIX_BROKER_PID WEB_READ_WIRE=$read_wire NODE_PATH=$node_modules timeout 300 node "$e2e_dir/web_console.js" ||
    fail "the console in the browser"
# The broker the driver restarted.
[ -f "$work/campus/broker.pid" ] && HALVIX_SERVICE_PIDS+=("$(cat "$work/campus/broker.pid")")

# Beyond what the reader checks: every command has an id of its own, and a ring or a stop waits
# for an offline building no longer than 10 s.
python3 - "$work/b1.commands" <<'EOF' && pass "command ids are unique and rings expire after 10 s" || fail "commands b1 got: $(cat "$work/b1.commands")"
import json, sys
commands = [json.loads(line) for line in open(sys.argv[1], encoding="utf-8")]
assert len({c["id"] for c in commands}) == len(commands) >= 3
assert all(c["expiry"] == 10 for c in commands if c["kind"] in ("play", "stop"))
EOF
grep -q forged "$work/b1.commands" && fail "the read-only account's publish reached b1" ||
    pass "nothing the read-only account sent reached a building"

[ "$failures" -eq 0 ]
