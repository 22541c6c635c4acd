# What a running process costs, read from /proc. Sourced, not run.

# rss_kb PID: resident memory (VmRSS) in kB.
rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status" 2>/dev/null; }
# memory_kb PID: "RSS PSS USS" in kB, read at once from /proc/PID/smaps_rollup; empty when the
# process has gone. RSS counts every page the process maps in full; PSS each page divided by the
# number of processes that map it (a library page shared with nine others counts a tenth); USS only
# the pages no other process maps, what its end would give back. Goals are counted in PSS.
memory_kb() {
    awk '/^Rss:/ { rss = $2 } /^Pss:/ { pss = $2 } /^Private_(Clean|Dirty|Hugetlb):/ { uss += $2 }
        END { if (rss != "") print rss, pss, uss + 0 }' "/proc/$1/smaps_rollup" 2>/dev/null
}
# files_memory_kb PID FILE...: "RSS PSS USS" in kB of the mappings of these files (real paths, as
# /proc/PID/smaps names them) together.
files_memory_kb() {
    local pid=$1
    shift
    awk -v files="$(printf '%s\n' "$@")" '
        BEGIN { split(files, list, "\n"); for (i in list) wanted[list[i]] = 1 }
        /^[0-9a-f]+-[0-9a-f]+ / { counted = ($6 in wanted); next }
        !counted { next }
        /^Rss:/ { rss += $2 } /^Pss:/ { pss += $2 } /^Private_(Clean|Dirty|Hugetlb):/ { uss += $2 }
        END { print rss + 0, pss + 0, uss + 0 }' "/proc/$pid/smaps"
}
# libraries_of EXECUTABLE: the real paths of the shared libraries it needs (ldd), sorted.
libraries_of() { ldd "$1" | awk '$3 ~ /^\// { print $3 }' | xargs -r readlink -f | sort -u; }
# processes_mapping FILE_PATTERN [PID...]: how many other processes, besides the PIDs, map a file
# whose path matches FILE_PATTERN (a regular expression): what they share with the PIDs lowers a PSS.
processes_mapping() {
    local pattern=$1 maps pid count=0
    shift
    for maps in /proc/[0-9]*/maps; do
        pid=${maps#/proc/}
        pid=${pid%/maps}
        [[ " $* " == *" $pid "* ]] && continue
        grep -qE "$pattern" "$maps" 2>/dev/null && count=$((count + 1))
    done
    echo "$count"
}
# thread_count PID
thread_count() { awk '/^Threads:/ { print $2 }' "/proc/$1/status" 2>/dev/null; }
# fd_count PID: open file descriptors.
fd_count() { find "/proc/$1/fd" -mindepth 1 -maxdepth 1 2>/dev/null | wc -l; }
# cpu_ticks PID: user and system time in clock ticks (getconf CLK_TCK a second).
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat" 2>/dev/null; }
# cpu_seconds TICKS [PER_SECONDS]: ticks as seconds of one core, and with PER_SECONDS also as a
# share of one core over that time: "S s = P % of one core".
cpu_seconds() {
    awk -v t="$1" -v hz="$(getconf CLK_TCK)" -v over="${2:-}" 'BEGIN {
        if (over == "") printf "%.1f", t / hz
        else printf "%.2f s = %.3f %% of one core", t / hz, t / hz / over * 100 }'
}

# process_sample PID: "rss_kb fds threads cpu_seconds"; false when the process has gone.
process_sample() {
    local rss
    rss=$(rss_kb "$1")
    [ -n "$rss" ] || return 1
    echo "$rss $(fd_count "$1") $(thread_count "$1") $(cpu_seconds "$(cpu_ticks "$1")")"
}

# smaps_by_mapping PID [TOP=25]: resident and proportional kB (RSS, PSS) summed by mapped file
# (anonymous memory as "[anonymous]"), largest PSS first, then the number of mappings and files.
smaps_by_mapping() {
    awk -v top="${2:-25}" '
        /^[0-9a-f]+-[0-9a-f]+ / { name = (NF >= 6) ? $6 : "[anonymous]"; maps++; seen[name] = 1; next }
        /^Rss:/ { rss[name] += $2; total += $2 }
        /^Pss:/ { pss[name] += $2; proportional += $2 }
        END {
            n = 0
            for (k in seen) n++
            printf "mappings %d, files and regions %d, RSS %d kB, PSS %d kB\n", maps, n, total, proportional
            printf "%8s %8s  %s\n", "RSS kB", "PSS kB", "mapping"
            cmd = "sort -k2,2nr -k1,1nr | head -n " top
            for (k in seen) printf "%8d %8d  %s\n", rss[k], pss[k], k | cmd
            close(cmd)
        }' "/proc/$1/smaps"
}

# smaps_against PID REFERENCE_PID [TOP=25]: RSS and PSS by mapped file of PID beside the same
# file's in REFERENCE_PID, the TOP largest differences in PSS first: what PID holds beyond the
# reference. Both running at once, a file both map counts half to each in PSS.
smaps_against() {
    awk -v top="${3:-25}" '
        FNR == 1 { side = (FILENAME ~ "^/proc/" pid "/") ? 1 : 2 }
        /^[0-9a-f]+-[0-9a-f]+ / { name = (NF >= 6) ? $6 : "[anonymous]"; names[name] = 1; next }
        /^Rss:/ { rss[side, name] += $2; total[side] += $2 }
        /^Pss:/ { pss[side, name] += $2; proportional[side] += $2 }
        END {
            printf "RSS %d kB, the reference %d kB, more %d kB; PSS %d kB, the reference %d kB, more %d kB\n",
                total[1], total[2], total[1] - total[2], proportional[1], proportional[2], proportional[1] - proportional[2]
            printf "%8s %8s %8s %8s %8s  %s\n", "RSS kB", "ref", "PSS kB", "ref", "more", "mapping"
            cmd = "sort -k5,5nr | head -n " top
            for (k in names)
                printf "%8d %8d %8d %8d %8d  %s\n", rss[1, k], rss[2, k], pss[1, k], pss[2, k], pss[1, k] - pss[2, k], k | cmd
            close(cmd)
        }' pid="$1" "/proc/$1/smaps" "/proc/$2/smaps"
}
