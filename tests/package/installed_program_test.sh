#!/usr/bin/env bash
# The Debian package as a school's IT installs it: unpacked into a temporary root (dpkg -x) and
# started by a user whose home is empty. Checks that the first start makes the per-user data
# folder from the installed defaults (and writes nothing beside the executable), that the
# settings dialog's 开机自启动 box writes the session's autostart entry, and that the entry's Exec
# line, run as a session's autostart runner runs it, starts the installed program, which keeps
# the user's data and rings an entry of its plan on the sound server at its second.
#
#   tests/package/installed_program_test.sh DEB
#
# Not a ctest test: it needs the package, which scripts/test.sh makes (scripts/package.sh) after
# the normal build's tests. Brings its own display, tray host, sound server and session bus unless
# the caller has them. Artifacts (screenshot, recording, program output) go to
# $HALVIX_BUILD_DIR/package-artifacts (default build/).
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
deb=$(realpath "${1:?the package to test}")
root_dir=$(cd "$here/../.." && pwd)
export HALVIX_BUILD_DIR=${HALVIX_BUILD_DIR:-$root_dir/build}
export HALVIX_APP_DIR=/nonexistent # the build's folder is not used: the package is
source "$root_dir/tests/e2e/common.sh"
artifacts=$HALVIX_BUILD_DIR/package-artifacts
mkdir -p "$artifacts"

ensure_services

# --- The package, unpacked, and a user with an empty home ------------------------------------------
root=$work/root
dpkg -x "$deb" "$root" || { fail "dpkg -x $deb"; finish program-output; }
# The broker client and libcrypto are opened only once a campus needs them, so the package must
# name them itself.
depends=$(dpkg-deb -f "$deb" Depends)
for library in libmosquitto1 libssl3; do
    [[ ", $depends," == *", $library"[,\ ]* ]] && pass "the package depends on $library" ||
        fail "the package does not depend on $library: $depends"
done
bin=$root/usr/bin
home=$work/home
mkdir -p "$home"
data=$home/.local/share/halvix
autostart=$home/.config/autostart/halvix.desktop
user_env=(HOME="$home" XDG_DATA_HOME="$home/.local/share" XDG_CONFIG_HOME="$home/.config"
    XDG_CACHE_HOME="$home/.cache" QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1)
start_text="2025-03-12 10:00:00"

# --- First start: the per-user folder --------------------------------------------------------------
start_program_at "$bin" "$artifacts/program-output-1.txt" "$start_text" "${user_env[@]}"
if wait_for 60 window_visible; then
    pass "the installed program shows its window"
else
    fail "the installed program shows no window"
fi
made=0
for entry in jbase.mdb xqno.txt tovk/cbhtime.txt voic/上课.mp3; do
    cmp -s "$root/usr/share/halvix/$entry" "$data/$entry" && made=$((made + 1))
done
if [ $made -eq 4 ]; then
    pass "the first start made $data from the installed defaults"
else
    fail "the per-user folder holds $made of 4 default files: $(ls -R "$data" 2>&1 | head -5)"
fi
if [ -z "$(ls -A "$bin" | grep -v '^halvix$')" ]; then
    pass "nothing written beside the installed executable"
else
    fail "written beside the executable: $(ls -A "$bin")"
fi
if xdotool search --name "^$main_window_title  —  $data\$" >/dev/null 2>&1; then
    pass "the title bar shows the data folder"
else
    fail "the title bar does not show $data: $(xdotool search --name "^$main_window_title" getwindowname 2>/dev/null)"
fi
import -window root "$artifacts/installed-window.png" 2>/dev/null

# --- 开机自启动 in the settings dialog ------------------------------------------------------------
press_settings() {
    show_main_window || return 1
    a11y press "$main_window_title" button 设置
}
if wait_for 90 press_settings && wait_for 30 a11y shown 时间设置; then
    a11y press 时间设置 check 开机自启动 && a11y press 时间设置 button 保存
    a11y boxes 2 >"$work/boxes.txt"
    if wait_for 20 test -f "$autostart"; then
        pass "开机自启动 and 保存 wrote $autostart"
    else
        fail "no autostart entry after 开机自启动 and 保存 (messages: $(cat "$work/boxes.txt"))"
    fi
else
    fail "the settings dialog did not open"
fi
kill -TERM "$program"
ends_cleanly "SIGTERM"

# --- The user's plan: one entry a quarter of a minute after the start ---------------------------------
daily_spring "$data" 1125
sqlite3 "$data/jbase.mdb" "delete from zccjtime;
    insert into zccjtime values ('1', '星期三', '10:00:15', '第一节上课', '上课.mp3', '待完', '');"
entry_epoch=$(date -d "2025-03-12 10:00:15" +%s)

# --- Started by the autostart entry's Exec line ---------------------------------------------------
# The line as a desktop reads it: string escapes first, then the quoting of the Exec key.
mapfile -t command < <(python3 - "$autostart" <<'PY'
import configparser, shlex, sys
entry = configparser.RawConfigParser(interpolation=None, strict=False)
entry.optionxform = str
entry.read(sys.argv[1], encoding="utf-8")
group = entry["Desktop Entry"]
if group.get("Hidden", "false") == "true" or group.get("Type") != "Application":
    sys.exit(1)
for arg in shlex.split(group["Exec"].replace("\\\\", "\\")):
    print(arg.replace("%%", "%"))
PY
)
if [ ${#command[@]} -gt 0 ] && [ "${command[0]}" -ef "$bin/halvix" ]; then
    pass "the entry's Exec line starts the installed program: ${command[*]}"
else
    fail "the entry's Exec line is '${command[*]:-}', not $bin/halvix"
fi

record_sink "$work/rec.raw" 22050
offset=$(($(date -d "$start_text" +%s) - $(date +%s)))
entry_real=$((entry_epoch - offset))
if [ ${#command[@]} -gt 0 ]; then
    env LD_PRELOAD="$faketime_library" FAKETIME_DONT_FAKE_MONOTONIC=1 FAKETIME="$(printf '%+ds' "$offset")" \
        "${user_env[@]}" "${command[@]}" >"$artifacts/program-output-2.txt" 2>&1 &
    program=$!
fi
wait_for 60 window_visible || fail "the autostarted program shows no window"
if wait_for 20 entry_status_is 待完; then
    pass "the autostarted program reads the user's plan"
else
    fail "the list does not show the user's entry as 待完 (it reads '$(entry_status)')"
fi
entry_sound_heard "$data/voic/上课.mp3"
# Read as the user reads it: in the window brought back from the tray (hidden, it has no window).
show_main_window || fail "the main window did not come back from the tray"
if wait_for 20 entry_status_is 完成; then
    pass "the list shows the entry as 完成"
else
    fail "after its time the list shows the entry as '$(entry_status)'"
fi
[ -n "$program" ] && kill -TERM "$program"
ends_cleanly "SIGTERM"

# --- The user's data survived both starts ---------------------------------------------------------
if [ "$(sqlite3 "$data/jbase.mdb" "select count(*) from zccjtime")" = 1 ] &&
    sqlite3 "$data/jbase.mdb" "select * from zccjtime" | grep -q 第一节上课; then
    pass "the user's plan is kept"
else
    fail "the user's plan was replaced"
fi

finish program-output
