# The duty office's page over HTTPS: the configuration of the web server (Debian's nginx) that
# serves it, and the listen addresses of what faces the school's network. Sourced by
# campus-setup.sh, not run.

# url_host HOST: HOST as an address names it (an IPv6 address in brackets).
url_host() { if [[ $1 == *:* ]]; then printf '[%s]' "$1"; else printf '%s' "$1"; fi; }

# websockets_bind ADDR: the broker's WebSockets listener bound to ADDR. Debian 12's mosquitto
# hands its WebSockets listeners' address to libwebsockets, which takes an interface name or an
# IPv6 address and listens on every address when given an IPv4 one; an IPv4 address is therefore
# written as the IPv6 address that stands for it. A host name is refused: it could not be bound.
websockets_bind() {
    if [[ $1 =~ ^[0-9]{1,3}(\.[0-9]{1,3}){3}$ ]]; then
        printf '::ffff:%s' "$1"
    elif [[ $1 =~ ^[0-9A-Fa-f:]+$ && $1 == *:* ]]; then
        printf '%s' "$1"
    else
        return 1
    fi
}

# web_listen ADDR PORT: nginx's listen address ("PORT" alone: every address).
web_listen() {
    if [ -z "$1" ]; then printf '%s' "$2"; else printf '%s:%s' "$(url_host "$1")" "$2"; fi
}

# web_security_headers HOST PAGE-PORT WS-PORT: what every answer carries. The page runs only its
# own files and talks only to its settings file and the broker's WebSockets listener.
web_security_headers() {
    local origin
    origin=$(url_host "$1")
    local policy="default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'"
    policy+="; connect-src https://$origin:$2/campus.json wss://$origin:$3/mqtt"
    policy+="; base-uri 'none'; form-action 'none'; frame-ancestors 'none'"
    printf '        add_header Content-Security-Policy "%s" always;\n' "$policy"
    printf '        add_header X-Content-Type-Options nosniff always;\n'
    printf '        add_header Referrer-Policy no-referrer always;\n'
    printf '        add_header Cache-Control no-cache always;\n'
}

# write_web_conf FILE BROKER-DIR HOST BIND PAGE-PORT WS-PORT USER: nginx's configuration for the
# page; its pid, temporary files and logs in BROKER-DIR/web-run/ (made beside FILE).
write_web_conf() {
    local file=$1 dir=$2 host=$3 bind=$4 page_port=$5 ws_port=$6 user=$7
    local run=$dir/web-run
    cat >"$file" <<EOF
# The duty office's page over HTTPS, written by campus-setup.sh. Start: nginx -c $dir/web.conf
# Logins do not pass here: the page logs in on the broker's WebSockets listener (port $ws_port).
user $user;
worker_processes 1;
pid $run/nginx.pid;
error_log $run/error.log notice;
events { worker_connections 256; }

http {
    server_tokens off;
    access_log $run/access.log;
    client_body_temp_path $run/body;
    proxy_temp_path $run/proxy;
    fastcgi_temp_path $run/fastcgi;
    uwsgi_temp_path $run/uwsgi;
    scgi_temp_path $run/scgi;
    client_max_body_size 1k;
    # A browser loads the page with a handful of requests; a flood from one address is turned away.
    limit_req_zone \$binary_remote_addr zone=page:1m rate=120r/m;
    limit_req_status 429;

    types {
        text/html html;
        text/css css;
        text/javascript js;
        application/json json;
        image/png png;
    }
    default_type application/octet-stream;
    charset utf-8;
    charset_types text/css text/javascript application/json;

    server {
        listen $(web_listen "$bind" "$page_port") ssl;
        server_name $host;
        ssl_certificate $dir/broker.crt;
        ssl_certificate_key $dir/broker.key;
        ssl_protocols TLSv1.2 TLSv1.3;
        root $dir/web;
        index index.html;
        limit_req zone=page burst=60 nodelay;
$(web_security_headers "$host" "$page_port" "$ws_port")
        location / {
            limit_except GET { deny all; }
            try_files \$uri \$uri/ =404;
        }
    }
}
EOF
    mkdir -p "$(dirname "$file")/web-run"
    chmod 755 "$(dirname "$file")/web-run"
}
