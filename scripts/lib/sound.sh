# What reaches the sound server's null sink: recorded from its monitor, and the onsets of sound
# in a recording. Sourced, not run.

[ -n "${HALVIX_LIB_SOUND:-}" ] && return 0
HALVIX_LIB_SOUND=1
source "$(dirname "${BASH_SOURCE[0]}")/program.sh"

recorder=""
recording=""
record_rate=8000
record_start=""

# The sink the program plays to: ours when this run started the sound server.
sink_name() { echo "${HALVIX_NULL_SINK:-$(pactl get-default-sink)}"; }

# record_sink FILE [RATE]: records the sink's monitor into FILE (mono, 16 bits, RATE samples a
# second, default 8000) until stop_recording; sets recorder, recording and record_rate.
record_sink() {
    recording=$1
    record_rate=${2:-8000}
    parec -d "$(sink_name).monitor" --rate="$record_rate" --channels=1 --format=s16le --latency-msec=20 \
        >"$recording" &
    recorder=$!
}

# Ends the recorder and sets record_start, the real time of the recording's first sample: the
# moment it ended less its length. (Counting from the recorder's start would be wrong: its first
# second or two are lost.)
stop_recording() {
    [ -n "$recorder" ] || return 0
    kill -INT "$recorder" 2>/dev/null
    wait "$recorder" 2>/dev/null
    local ended bytes
    ended=$(now)
    bytes=$(stat -c %s "$recording")
    record_start=$(awk -v e="$ended" -v b="$bytes" -v r="$record_rate" 'BEGIN { printf "%.3f", e - b / 2 / r }')
    recorder=""
}

# onset_times [CLOCK_CHANGES]: after stop_recording, every sound in the recording as "ONSET
# LENGTH", one a line: the real second it began (or the program's, by a file of "real-second
# offset" lines for every change of the program's clock) and how long it lasted.
onset_times() {
    python3 "$HALVIX_LIB/onsets.py" "$recording" "$record_rate" "$record_start" ${1:+"$1"}
}

# quiet_between FROM TO: after stop_recording, "LONGEST FIRST" for the real seconds FROM to TO: the
# longest quiet stretch and the seconds from FROM to the first loud moment (-1 for none).
quiet_between() {
    python3 "$HALVIX_LIB/onsets.py" "$recording" "$record_rate" "$record_start" --quiet "$1" "$2"
}

# recording_wav FILE: the recording as a WAV file.
recording_wav() {
    sox -t raw -r "$record_rate" -e signed -b 16 -c 1 "$recording" "$1"
}

# band_level WAV START FROM TO FILTER: the RMS level (0 to 1) of WAV, whose first sample is the real
# second START, between the real seconds FROM and TO, through sox's sinc FILTER (-1000: below 1 kHz,
# 1500: above 1.5 kHz). An RMS, not a peak: a peak would catch the filter's ringing where a cut begins.
band_level() {
    sox "$1" -n trim "$(seconds_between "$2" "$3")" "$(seconds_between "$3" "$4")" sinc "$5" stat 2>&1 |
        awk '/RMS +amplitude/ { print $3 }'
}

# energy_db FILE: the sound's energy (its RMS squared times its length) in dB of full scale for a
# second. Two recordings of one sound compare by it however much silence each holds.
energy_db() {
    sox "$1" -n stat 2>&1 | awk '/RMS +amplitude/ { rms = $3 } /Length \(seconds\)/ { s = $3 }
        END { if (rms > 0 && s > 0) printf "%.2f", 10 * log(rms * rms * s) / log(10); else print "-inf" }'
}

# rough_pitch FILE: the sound's rough frequency in Hz, as sox's stat finds it.
rough_pitch() { sox "$1" -n stat 2>&1 | awk '/Rough/ { print $3 }'; }
