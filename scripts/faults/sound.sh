# Sound faults, sourced by scripts/faults.sh: sound files that are missing, empty, cut in half or
# not audio at all; a folder entry naming a folder of 5,000 tracks; the sound server killed and
# started again on the same socket while the program runs. The program must not crash, must play
# what can be played, and must ring the next entry once the server is back.
#
# The date: Wednesday 17 March 2027.

# sound_line NAME INJECTED RESULT VERDICT: this file's line of the summary.
sound_line() {
    local line
    line=$(printf '%-24s | %-36s | %s | %s' "$@")
    printf '%s\n' "$line"
    SUMMARY_ROWS+=("$line")
}

# first_onset_after EPOCH: seconds from EPOCH to the first onset within a minute after it, or "none".
first_onset_after() {
    onset_times "$FAKE_OFFSETS" | awk -v e="$1" '$1 >= e - 0.5 && $1 < e + 60 { printf "%.2f\n", $1 - e; found = 1; exit }
        END { if (!found) print "none" }'
}

# The sound file of every entry that rings: a clear tone of a few seconds.
good_sound() { echo "$HALVIX_APP_DIR/voic/上课.mp3"; }

# Files that are not what their name says, and one that is half of a good file.
sound_bad_files() {
    FAULT_TZ=Asia/Shanghai
    local dir
    dir=$(program_folder sound-bad-files)
    : >"$dir/voic/空.mp3"
    local size
    size=$(stat -c %s "$(good_sound)")
    head -c $((size / 2)) "$(good_sound)" >"$dir/voic/半截.mp3"
    yes '这不是声音文件' | head -n 400 >"$dir/voic/文字.mp3"
    mkdir -p "$dir/voic/坏曲目"
    : >"$dir/voic/坏曲目/1空.mp3"
    cp "$dir/voic/文字.mp3" "$dir/voic/坏曲目/2文字.mp3"
    cp "$(good_sound)" "$dir/voic/坏曲目/3好.mp3"
    plan_every_day "$dir" "10:00:10 不存在.mp3" "10:00:30 空.mp3" "10:00:50 文字.mp3" \
        "10:01:10 半截.mp3" "10:01:40 voic/坏曲目" "10:02:10 上课.mp3"
    program_start "$dir" "2027-03-17 10:00:00"
    wait_for_fake "2027-03-17 10:02:30"
    program_stop
    local before=$FAILED_SCENARIOS
    judge_rings sound_bad_files "silent 2027-03-17 10:00:10" "silent 2027-03-17 10:00:30" \
        "silent 2027-03-17 10:00:50" "ring 2027-03-17 10:01:10" "ring 2027-03-17 10:01:40" \
        "ring 2027-03-17 10:02:10"
    local verdict=PASS
    [ "$FAILED_SCENARIOS" -eq "$before" ] || verdict=FAIL
    sound_line sound_bad_files "missing, 0-byte, text .mp3; half mp3; folder of bad tracks" \
        "survived: $PROGRAM_SURVIVED; bad files silent, half file and folder's good track rang, next entry rang" \
        "$verdict"
}

# A folder of 5,000 tracks (links to one short file): the time from the entry's second to its
# first sound, against a single-file entry of the same run.
sound_big_folder() {
    FAULT_TZ=Asia/Shanghai
    local dir
    dir=$(program_folder sound-big-folder)
    mkdir -p "$dir/voic/晨读"
    ffmpeg -v error -y -f lavfi -i "sine=frequency=660:duration=20:sample_rate=22050" -ac 1 \
        -c:a libmp3lame "$dir/tone.mp3" || { note "could not encode a tone"; return; }
    local i listing_started listing_ended
    for i in $(seq -w 1 5000); do ln "$dir/tone.mp3" "$dir/voic/晨读/$i.mp3"; done
    listing_started=$(now)
    ls -f "$dir/voic/晨读" >/dev/null
    listing_ended=$(now)
    plan_every_day "$dir" "10:00:20 上课.mp3" "10:00:50 voic/晨读"
    program_start "$dir" "2027-03-17 10:00:00"
    wait_for_fake "2027-03-17 10:01:00"
    program_stop
    local single folder verdict=PASS
    single=$(first_onset_after "$(fake_epoch "2027-03-17 10:00:20")")
    folder=$(first_onset_after "$(fake_epoch "2027-03-17 10:00:50")")
    note "onsets: $(onset_times "$FAKE_OFFSETS" | cut -d' ' -f1 | tr '\n' ' ')"
    [ "$single" != none ] && [ "$folder" != none ] && [ "$PROGRAM_SURVIVED" = yes ] || verdict=FAIL
    [ "$verdict" = PASS ] || FAILED_SCENARIOS=$((FAILED_SCENARIOS + 1))
    sound_line sound_big_folder "folder entry of 5,000 .mp3 tracks" \
        "survived: $PROGRAM_SURVIVED; first sound ${folder} s after the entry (single file: ${single} s; ls -f of the folder: $(awk -v a="$listing_started" -v b="$listing_ended" 'BEGIN { printf "%.3f", b - a }') s)" \
        "$verdict"
}

# The PulseAudio server that this run started, by the socket it listens on; empty for a server
# that was there before (which this script must leave alone).
own_sound_server() {
    local pid socket=${PULSE_SERVER#unix:}
    for pid in "${HALVIX_SERVICE_PIDS[@]}"; do
        tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -q -- "socket=$socket " && { echo "$pid"; return; }
    done
}

# The same server again, on the same socket with the same null sink.
restart_sound_server() {
    local dir
    dir=$(dirname "${PULSE_SERVER#unix:}")
    serve_sound "$dir" "$dir/log-restarted"
}

# The sound server is killed while the program runs and an entry falls due meanwhile; the server
# is started again on the same socket, and the next entries must ring.
sound_server_restart() {
    FAULT_TZ=Asia/Shanghai
    local server
    server=$(own_sound_server)
    if [ -z "$server" ] || [ "$(sink_name)" != halvix_null ]; then
        sound_line sound_server_restart "sound server killed and restarted" \
            "SKIPPED: the sound server was not started by this run" SKIP
        return
    fi
    local dir
    dir=$(program_folder sound-server-restart)
    plan_every_day "$dir" "10:00:15 上课.mp3" "10:00:45 上课.mp3" "10:01:20 上课.mp3" "10:01:50 上课.mp3"
    program_start "$dir" "2027-03-17 10:00:00"
    wait_for_fake "2027-03-17 10:00:30"
    kill -KILL "$server"
    wait "$server" 2>/dev/null
    # The recorder went with the server; the entry at 10:00:45 falls due with no server at all.
    kill "$recorder" 2>/dev/null
    wait "$recorder" 2>/dev/null
    wait_for_fake "2027-03-17 10:01:00"
    local alive_without=no
    program_alive && alive_without=yes
    restart_sound_server || note "the sound server did not come back"
    record_sink "$dir/sink-after-restart.raw"
    wait_for_fake "2027-03-17 10:02:05"
    program_stop
    local before=$FAILED_SCENARIOS
    judge_rings sound_server_restart "ring 2027-03-17 10:01:20" "ring 2027-03-17 10:01:50"
    local verdict=PASS
    [ "$FAILED_SCENARIOS" -eq "$before" ] && [ "$alive_without" = yes ] || verdict=FAIL
    [ "$alive_without" = yes ] || [ "$FAILED_SCENARIOS" -ne "$before" ] || FAILED_SCENARIOS=$((FAILED_SCENARIOS + 1))
    sound_line sound_server_restart "PulseAudio SIGKILLed at 10:00:30, restarted 10:01:00" \
        "running without a server: $alive_without; entries 10:01:20 and 10:01:50 after the restart: $([ "$verdict" = PASS ] && echo rang || echo 'see details')" \
        "$verdict"
}

add_scenario sound_bad_files sound_bad_files
add_scenario sound_big_folder sound_big_folder
add_scenario sound_server_restart sound_server_restart
