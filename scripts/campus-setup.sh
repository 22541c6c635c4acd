#!/usr/bin/env bash
# Everything a school's broker and its buildings need to form a campus: a certificate authority,
# the broker's certificate, one identity per building (a certificate, or a password), the broker's
# ACL and mosquitto.conf, and for each building a folder to copy into its program folder.
#
#   scripts/campus-setup.sh --out DIR --campus ID --host HOST [--port 8883] [--bind ADDR]
#       [--auth cert|password] [--broker-dir DIR] [--broker-user USER]
#       --central ID [--name 名称]
#       --node ID [--name 名称] [--zones 编号:名称,...] ...
#       [--ws-port PORT --page-port PORT --web DIR] [--staff 账号:角色 [--password-file FILE]] ...
#
# DIR/ca/          the authority's key: keep it off the network; it signs buildings added later
# DIR/broker/      copy to --broker-dir (default: this folder) on the broker's machine, owned by
#                  the user the broker runs as (--broker-user, default mosquitto's own "mosquitto");
#                  start `mosquitto -c mosquitto.conf`
# DIR/nodes/ID/    copy into that building's program folder: campus.ini and certs/
#
# The duty office's web console: --ws-port adds a WebSockets listener with TLS for MQTT; the page
# (--web: the built page folder, build/app/web, copied to DIR/broker/web/) is served over HTTPS on
# --page-port by nginx, with DIR/broker/web.conf (start `nginx -c web.conf`). Staff log in on the
# first with accounts of the broker's password file: --staff NAME:ROLE, ROLE 管理员 (commands and the
# emergency, reads everything), 值班 (立即播放, 停止, 今日静音/恢复, 紧急广播) or 只读; the password
# (at least 8 characters) from --password-file, or asked for; an account given again without one
# keeps its password. Passwords never appear on a command line.
#
# Run again with more --node options to add buildings: existing keys, certificates and passwords
# are kept; the ACL, the password file and mosquitto.conf are written anew.
set -euo pipefail
lib=$(cd "$(dirname "${BASH_SOURCE[0]}")/lib" && pwd)
source "$lib/web_server.sh"
# The broker's hash of the password on standard input.
hash_password() { python3 "$lib/password_hash.py" "$@"; }
min_password=8

die() {
    printf 'campus-setup: %s\n' "$*" >&2
    exit 2
}
valid_id() { [[ $1 =~ ^[A-Za-z0-9][A-Za-z0-9_-]{0,31}$ ]]; }

out="" campus="" host="" port=8883 bind="" auth=cert broker_dir="" broker_user=""
ids=() names=() zones=() roles=()
ws_port="" page_port="" web="" staff=() staff_roles=() staff_passwords=()
while [ $# -gt 0 ]; do
    case $1 in
    --out) out=$2 ;;
    --campus) campus=$2 ;;
    --host) host=$2 ;;
    --port) port=$2 ;;
    --bind) bind=$2 ;;
    --auth) auth=$2 ;;
    --broker-dir) broker_dir=$2 ;;
    --broker-user) broker_user=$2 ;;
    --central | --node)
        valid_id "$2" || die "编号 \"$2\" 应为 1 到 32 个英文字母、数字、- 或 _"
        roles+=("${1#--}") ids+=("$2") names+=("$2") zones+=("")
        ;;
    --name)
        [ ${#ids[@]} -gt 0 ] || die "--name 须跟在 --central 或 --node 之后"
        names[-1]=$2
        ;;
    --zones)
        [ ${#ids[@]} -gt 0 ] || die "--zones 须跟在 --node 之后"
        zones[-1]=$2
        ;;
    --ws-port) ws_port=$2 ;;
    --page-port) page_port=$2 ;;
    --web) web=$2 ;;
    --staff)
        valid_id "${2%%:*}" || die "员工账号 \"${2%%:*}\" 应为 1 到 32 个英文字母、数字、- 或 _"
        case ${2#*:} in
        管理员 | 值班 | 只读) ;;
        *) die "员工 \"$2\" 应写作 账号:角色, 角色为 管理员、值班 或 只读" ;;
        esac
        staff+=("${2%%:*}") staff_roles+=("${2#*:}") staff_passwords+=("")
        ;;
    --password-file)
        [ ${#staff[@]} -gt 0 ] || die "--password-file 须跟在 --staff 之后"
        [ -r "$2" ] || die "无法读取密码文件 $2"
        staff_passwords[-1]=$(head -n 1 "$2")
        [ ${#staff_passwords[-1]} -ge $min_password ] || die "员工 ${staff[-1]} 的密码至少应有 $min_password 个字符 (密码文件 $2)"
        ;;
    -h | --help)
        sed -n '2,27p' "$0"
        exit 0
        ;;
    *) die "未知的选项 $1" ;;
    esac
    [ $# -ge 2 ] || die "选项 $1 缺少值"
    shift 2
done
[ -n "$out" ] || die "缺少 --out"
valid_id "$campus" || die "缺少 --campus 或其编号无效"
[[ $host =~ ^[A-Za-z0-9.:-]+$ ]] || die "缺少 --host 或主机名无效"
[[ $port =~ ^[0-9]+$ ]] && [ "$port" -ge 1 ] && [ "$port" -le 65535 ] || die "端口应为 1 到 65535"
[ "$auth" = cert ] || [ "$auth" = password ] || die "--auth 应为 cert 或 password"
centrals=0
for r in "${roles[@]}"; do [ "$r" = central ] && centrals=$((centrals + 1)); done
[ "$centrals" -eq 1 ] || die "须有且只有一个 --central"
[ -z "$(printf '%s\n' "${ids[@]}" | sort | uniq -d)" ] || die "编号重复"
if [ -n "$ws_port" ]; then
    [[ $ws_port =~ ^[0-9]+$ ]] && [ "$ws_port" -ge 1 ] && [ "$ws_port" -le 65535 ] && [ "$ws_port" != "$port" ] ||
        die "--ws-port 应为 1 到 65535 且不同于 --port"
    [[ $page_port =~ ^[0-9]+$ ]] && [ "$page_port" -ge 1 ] && [ "$page_port" -le 65535 ] &&
        [ "$page_port" != "$port" ] && [ "$page_port" != "$ws_port" ] ||
        die "--ws-port 需要 --page-port: 网页的端口, 1 到 65535, 不同于其他端口"
    [ -f "$web/index.html" ] || die "--ws-port 需要 --web 网页所在的文件夹 (构建后为 build/app/web)"
    [ -z "$bind" ] || websockets_bind "$bind" >/dev/null ||
        die "--bind 须为 IP 地址: 网页的 WebSockets 监听只能绑定到地址, 不能绑定到主机名 $bind"
fi
[ ${#staff[@]} -eq 0 ] || [ -n "$ws_port" ] || die "员工账号只用于网页: 须同时给出 --ws-port"
[ -z "$(printf '%s\n' "${ids[@]}" "${staff[@]}" | sort | uniq -d)" ] || die "员工账号与编号重复"
# Every staff password is known before anything is written: a new account's is asked for.
for i in "${!staff[@]}"; do
    [ -n "${staff_passwords[$i]}" ] || grep -q "^${staff[$i]}:" "$out/broker/staff.passwd" 2>/dev/null && continue
    [ -t 0 ] || die "员工 ${staff[$i]} 缺少密码: 用 --password-file 文件 给出"
    read -rsp "员工 ${staff[$i]} 的密码: " password && echo >&2
    read -rsp "再输入一次: " again && echo >&2
    [ "$password" = "$again" ] || die "两次输入的密码不同"
    [ ${#password} -ge $min_password ] || die "员工 ${staff[$i]} 的密码至少应有 $min_password 个字符"
    staff_passwords[$i]=$password
done
for z in "${zones[@]}"; do
    for item in ${z//,/ }; do valid_id "${item%%:*}" || die "分区 \"$item\" 应为 编号:名称"; done
done

umask 077
mkdir -p "$out"/ca "$out"/broker/data "$out"/nodes
out=$(cd "$out" && pwd)
broker_dir=${broker_dir:-$out/broker}
ca=$out/ca
days=3650

if [ ! -f "$ca/ca.key" ]; then
    openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -sha256 -days "$days" -nodes -keyout "$ca/ca.key" -out "$ca/ca.crt" \
        -subj "/O=halvix/CN=halvix campus $campus CA" 2>/dev/null
fi
cp "$ca/ca.crt" "$out/broker/ca.crt"

# sign NAME KEY CRT [SAN]: a certificate from the authority, the key made first when absent.
sign() {
    local cn=$1 key=$2 crt=$3 san=${4:-} ext
    [ -f "$key" ] || openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$key" 2>/dev/null
    chmod 600 "$key"
    [ -f "$crt" ] && return 0
    ext=$(mktemp)
    { echo "basicConstraints=CA:FALSE"; [ -n "$san" ] && echo "subjectAltName=$san"; } >"$ext"
    openssl req -new -key "$key" -subj "/O=halvix/CN=$cn" 2>/dev/null |
        openssl x509 -req -CA "$ca/ca.crt" -CAkey "$ca/ca.key" -CAcreateserial -days "$days" -sha256 \
            -extfile "$ext" -out "$crt" 2>/dev/null
    rm -f "$ext"
    chmod 644 "$crt"
}

if [[ $host =~ ^[0-9.]+$ || $host == *:* ]]; then san="IP:$host"; else san="DNS:$host"; fi
[ "$host" = localhost ] || san="$san,DNS:localhost"
[ "$host" = 127.0.0.1 ] || san="$san,IP:127.0.0.1"
sign "$host" "$out/broker/broker.key" "$out/broker/broker.crt" "$san"

root="halvix/$campus"
# Written beside and renamed in at the end: a run that fails leaves the broker's files as they were.
acl=$out/broker/acl.new
passwd=$out/broker/passwd.new
{
    echo "# Who may read and write what; the user is the certificate's CN or the password's user."
    echo "# A node reads the shared plan and its own, its zones' and everyone's commands; it writes only"
    echo "# its own status, acknowledgements, ring log, day plan and clock pings; it reads its own clock"
    echo "# answers and the emergency state. Only the central publishes plans, sounds and commands."
} >"$acl"
: >"$passwd"
for i in "${!ids[@]}"; do
    id=${ids[$i]} name=${names[$i]} role=${roles[$i]}
    node=$out/nodes/$id
    mkdir -p "$node/certs"
    cp "$ca/ca.crt" "$node/certs/ca.crt"
    chmod 644 "$node/certs/ca.crt"
    zone_ids=()
    for item in ${zones[$i]//,/ }; do zone_ids+=("${item%%:*}"); done

    if [ "$role" = central ]; then
        printf '\nuser %s\ntopic readwrite %s/#\n' "$id" "$root" >>"$acl"
    else
        {
            printf '\nuser %s\n' "$id"
            printf 'topic read %s/snapshot\ntopic read %s/sound/#\n' "$root" "$root"
            printf 'topic read %s/cmd/node/%s\ntopic read %s/cmd/all\n' "$root" "$id" "$root"
            for z in "${zone_ids[@]}"; do printf 'topic read %s/cmd/zone/%s\n' "$root" "$z"; done
            printf 'topic read %s/pong/%s\ntopic read %s/emergency\n' "$root" "$id" "$root"
            for t in status ack log today ping; do printf 'topic write %s/%s/%s\n' "$root" "$t" "$id"; done
        } >>"$acl"
    fi

    {
        echo "# 校园广播: 本机在校园中的设置"
        echo "role = $role"
        echo "campus = $campus"
        echo "id = $id"
        echo "name = $name"
        [ -n "${zones[$i]}" ] && echo "zones = ${zones[$i]}"
        echo "broker = mqtts://$host:$port"
        echo "ca = certs/ca.crt"
        if [ "$auth" = cert ]; then
            echo "cert = certs/$id.crt"
            echo "key = certs/$id.key"
        else
            echo "user = $id"
            echo "password_file = certs/$id.pass"
        fi
    } >"$node/campus.ini"
    chmod 644 "$node/campus.ini"

    if [ "$auth" = cert ]; then
        sign "$id" "$node/certs/$id.key" "$node/certs/$id.crt"
    else
        [ -f "$node/certs/$id.pass" ] || openssl rand -hex 24 >"$node/certs/$id.pass"
        chmod 600 "$node/certs/$id.pass"
        printf '%s:%s\n' "$id" "$(hash_password <"$node/certs/$id.pass")" >>"$passwd"
    fi
done

# The duty office's staff: password accounts for the web console. Their password hashes are kept in
# broker/staff.passwd between runs; every role reads the board, the plans, the answers and the log.
# No account writes the plan, the sounds or a building's own topics: the page publishes commands
# and the emergency, nothing else. A 管理员 may also write probe, a topic nobody reads: the page
# learns the account's role from the broker's answer.
staff_hashes=$out/broker/staff.passwd
touch "$staff_hashes"
for i in "${!staff[@]}"; do
    user=${staff[$i]} password=${staff_passwords[$i]}
    if [ -n "$password" ]; then
        line="$user:$(hash_password --min-length $min_password <<<"$password")"
        grep -v "^$user:" "$staff_hashes" >"$staff_hashes.new" || true
        printf '%s\n' "$line" >>"$staff_hashes.new"
        mv "$staff_hashes.new" "$staff_hashes"
    fi
    {
        printf '\n# 员工 %s: %s\nuser %s\n' "$user" "${staff_roles[$i]}" "$user"
        for t in status/+ today/+ log/+ ack/+ emergency sounds; do printf 'topic read %s/%s\n' "$root" "$t"; done
        case ${staff_roles[$i]} in
        管理员) printf 'topic read %s/#\ntopic write %s/probe\n' "$root" "$root" ;;
        esac
        case ${staff_roles[$i]} in
        管理员 | 值班) printf 'topic write %s/cmd/#\ntopic write %s/emergency\n' "$root" "$root" ;;
        esac
    } >>"$acl"
done
# Only the accounts named in this run stay.
grep -E "^($(
    IFS='|'
    echo "${staff[*]:-}"
)):" "$staff_hashes" >"$staff_hashes.new" || true
mv "$staff_hashes.new" "$staff_hashes"
cat "$staff_hashes" >>"$passwd"

if [ -n "$ws_port" ]; then
    # Copied beside and renamed in; a --web that is this very folder is taken as it is.
    if [ "$(realpath "$web")" != "$(realpath -m "$out/broker/web")" ]; then
        rm -rf "$out/broker/web.new"
        cp -r "$web" "$out/broker/web.new"
        rm -rf "$out/broker/web"
        mv "$out/broker/web.new" "$out/broker/web"
    fi
    printf '{"campus": "%s", "wsPort": %s}\n' "$campus" "$ws_port" >"$out/broker/web/campus.json"
    chmod -R a+rX "$out/broker/web"
fi

# Who may connect to a listener and what they may do there.
listener_security() {
    echo "allow_anonymous false"
    echo "acl_file $broker_dir/acl"
    if [ "$auth" = password ] || [ ${#staff[@]} -gt 0 ]; then echo "password_file $broker_dir/passwd"; fi
}
{
    echo "# The campus broker, written by campus-setup.sh."
    [ -n "$broker_user" ] && echo "user $broker_user"
    echo "per_listener_settings true"
    echo "persistence true"
    echo "persistence_location $broker_dir/data/"
    echo "autosave_interval 60"
    echo "# Commands wait for a building that is offline until they expire."
    echo "max_queued_messages 10000"
    echo "persistent_client_expiration 14d"
    echo "# A command is a few hundred bytes: sent at once, not held back to fill a packet."
    echo "set_tcp_nodelay true"
    echo "# Every connection and every refused login, with the address it came from. A refused login on"
    echo "# the WebSockets listener is told only at the debug level: \"Sending CONNACK to ADDRESS (0, 135)\"."
    echo "connection_messages true"
    echo "log_timestamp_format %Y-%m-%dT%H:%M:%S"
    [ -z "$ws_port" ] || printf 'log_type %s\n' error warning notice information debug
    echo
    echo "listener $port${bind:+ $bind}"
    listener_security
    echo "cafile $broker_dir/ca.crt"
    echo "certfile $broker_dir/broker.crt"
    echo "keyfile $broker_dir/broker.key"
    echo "tls_version tlsv1.2"
    if [ "$auth" = cert ]; then
        echo "require_certificate true"
        echo "use_identity_as_username true"
    fi
    if [ -n "$ws_port" ]; then
        echo
        echo "# The duty office's web console: MQTT over WebSockets with TLS, staff passwords."
        echo "# Its address as this broker's WebSockets server takes one (an IPv4 address in IPv6 form)."
        echo "listener $ws_port${bind:+ $(websockets_bind "$bind")}"
        echo "protocol websockets"
        listener_security
        echo "certfile $broker_dir/broker.crt"
        echo "keyfile $broker_dir/broker.key"
        echo "tls_version tlsv1.2"
    fi
} >"$out/broker/mosquitto.conf"
# Its page over HTTPS: nginx, its worker processes running as the broker's user.
if [ -n "$ws_port" ]; then
    write_web_conf "$out/broker/web.conf" "$broker_dir" "$host" "$bind" "$page_port" "$ws_port" "${broker_user:-mosquitto}"
    chmod 644 "$out/broker/web.conf"
else
    rm -f "$out/broker/web.conf"
fi
chmod 644 "$out/broker/mosquitto.conf" "$acl" "$out/broker/ca.crt" "$out/broker/broker.crt"
chmod 755 "$out" "$out/broker" "$out/nodes"
mv "$acl" "$out/broker/acl"
if [ "$auth" = password ] || [ ${#staff[@]} -gt 0 ]; then mv "$passwd" "$out/broker/passwd"; else rm -f "$passwd" "$out/broker/passwd"; fi
chmod 600 "$staff_hashes"
printf 'campus-setup: %s 的文件已写入 %s (%d 台)\n' "$campus" "$out" "${#ids[@]}"
