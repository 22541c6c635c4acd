#!/usr/bin/env bash
# Regenerates the default sounds in res/voic: the bell chimes, the spoken campus prompts, the ten
# exam announcements and the tracks of the 课间操 playlist folder. The results are committed, so a
# build never needs the speech tools; run this only to change a sound. Output is repeatable: the
# same tools give the same bytes.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=$root/res/voic
rate=22050
bitrate=48k

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

ensure_tools() {
    local missing=()
    command -v espeak-ng >/dev/null || missing+=(espeak-ng)
    command -v sox >/dev/null || missing+=(sox)
    command -v ffmpeg >/dev/null || missing+=(ffmpeg)
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "make-sounds: installing ${missing[*]}"
    as_root env DEBIAN_FRONTEND=noninteractive apt-get update -qq >/dev/null
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
}

ensure_tools
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# sox without dither, so repeated runs give identical files.
sx() { sox -D -R "$@"; }

# One bell stroke: a sine with its octave, struck and decaying.
stroke() { # stroke FILE FREQUENCY SECONDS
    local f=$2
    sx -n -r $rate -c 2 "$work/stroke.wav" synth "$3" sine "$f" sine "$(awk "BEGIN{print $f * 2.01}")"
    sx "$work/stroke.wav" -c 1 "$1" remix 1v0.75,2v0.25 fade h 0.004 -0 "$(awk "BEGIN{print $3 * 0.95}")"
}

# chime FILE SECONDS-PER-STROKE NOTE...: strokes one after the other, each ringing into the next.
chime() {
    local file=$1 len=$2 i=0 parts=() note
    shift 2
    for note in "$@"; do
        stroke "$work/s$i.wav" "$note" "$len"
        parts+=("$work/s$i.wav")
        i=$((i + 1))
    done
    sx "${parts[@]}" "$file" gain -8 reverb 30 50 60 norm -1
}

# The two-note attention signal that opens every spoken prompt.
chime "$work/attention.wav" 0.35 784 1047
sx "$work/attention.wav" "$work/attention-pad.wav" pad 0 0.15

# speak FILE TEXT: attention signal, then the Mandarin text.
speak() {
    espeak-ng -v cmn -s 210 -a 160 -w "$work/voice.wav" "$2"
    sx "$work/voice.wav" -r $rate -c 1 "$work/voice-t.wav" silence 1 0.02 0.5% reverse silence 1 0.02 0.5% reverse
    sx "$work/voice-t.wav" "$work/voice-r.wav" fade t 0.01 -0 0.05
    sx "$work/attention-pad.wav" "$work/voice-r.wav" "$1" norm -1
}

encode() { # encode WAV NAME-IN-voic
    mkdir -p "$(dirname "$work/out/$2")"
    ffmpeg -nostdin -loglevel error -y -i "$1" -ac 1 -ar $rate -c:a libmp3lame -b:a $bitrate \
        -map_metadata -1 -id3v2_version 0 -fflags +bitexact -flags:a +bitexact "$work/out/$2"
}

say_to() { # say_to NAME TEXT
    speak "$work/t.wav" "$2"
    encode "$work/t.wav" "$1"
}

# Bells: 上课 the four-quarter Westminster phrase, 下课 a rising and falling major chord.
chime "$work/t.wav" 0.55 659 523 587 392 392 587 659 523
encode "$work/t.wav" 上课.mp3
chime "$work/t.wav" 0.45 523 659 784 1047 784 659 523
encode "$work/t.wav" 下课.mp3

say_to 预备.mp3 "预备铃，请同学们回到教室"
say_to 起床.mp3 "起床时间到了，请同学们按时起床"
say_to 早读.mp3 "早读开始，请同学们大声朗读"
say_to 升旗.mp3 "升旗仪式现在开始，全体立正"
say_to 眼保健操.mp3 "眼保健操现在开始"
say_to 午休.mp3 "午休时间到了，请同学们安静休息"
say_to 就餐.mp3 "就餐时间到了，请同学们有序就餐"
say_to 放学.mp3 "放学了，请同学们注意安全"
say_to 晚自习.mp3 "晚自习开始，请同学们保持安静"
say_to 就寝.mp3 "就寝时间到了，请同学们熄灯休息"

# The exam announcements; the program names them by these exact file names.
say_to h01组织进入考场.mp3 "请监考老师组织考生进入考场"
say_to h02发机读卡.mp3 "请监考老师分发机读卡"
say_to h03开启试卷袋.mp3 "请监考老师开启试卷袋"
say_to h04分发试卷.mp3 "请监考老师分发试卷"
say_to h05开始答题.mp3 "考试开始，请考生开始答题"
say_to h06倒计时.mp3 "考试即将结束，请考生掌握时间"
say_to h07考试结束.mp3 "考试结束，请考生停止答题"
say_to h08初一听力.mp3 "初一年级英语听力考试现在开始"
say_to h09初二听力.mp3 "初二年级英语听力考试现在开始"
say_to h10初三听力.mp3 "初三年级英语听力考试现在开始"

# The 课间操 playlist folder: a call to the playground, then the count of the first exercise over
# a drum beat.
say_to 课间操/01集合.mp3 "课间操时间到了，请同学们到操场集合"
espeak-ng -v cmn -s 190 -a 160 -w "$work/count.wav" "第一节，伸展运动，一，二，三，四，五，六，七，八"
sx "$work/count.wav" -r $rate -c 1 "$work/count-r.wav"
length=$(soxi -D "$work/count-r.wav")
sx -n -r $rate -c 1 "$work/beat.wav" synth 0.12 sine 110 fade h 0.002 0.12 0.1 pad 0 0.38 repeat 30 \
    trim 0 "$length" vol 0.5
sx -m "$work/count-r.wav" "$work/beat.wav" "$work/t.wav" norm -1
encode "$work/t.wav" 课间操/02广播体操.mp3

rm -rf "$out"
mkdir -p "$(dirname "$out")"
mv "$work/out" "$out"

# Every file must decode; show what was made.
total=0
while IFS= read -r -d '' f; do
    seconds=$(ffprobe -v error -show_entries format=duration -of default=nw=1:nk=1 "$f")
    sox "$f" -n 2>/dev/null || { echo "make-sounds: $f does not decode" >&2; exit 1; }
    bytes=$(stat -c %s "$f")
    total=$((total + bytes))
    printf '%6.2f s %7d bytes  %s\n' "$seconds" "$bytes" "${f#"$out"/}"
done < <(find "$out" -type f -print0 | sort -z)
echo "make-sounds: $total bytes in $out"
