# Clock faults, sourced by scripts/faults.sh. The program's clock is stepped while it runs (by the
# clock file of faketime), the local time passes a daylight-saving change in Europe/Berlin, or the
# process is stopped for two minutes. Each entry of the plan is either to ring exactly once or to
# stay silent (jumped over by more than a minute); every other sound counts as unexpected.
#
# The dates: Wednesday 17 and Thursday 18 March 2027; the clocks go forward in Berlin on Sunday
# 28 March 2027 and back on Sunday 31 October 2027.

clock_forward_hour() {
    local dir
    scenario_program clock-forward-hour Asia/Shanghai "2027-03-17 09:59:45" \
        "10:00:00 上课.mp3" "10:30:00 下课.mp3" "11:00:00 预备.mp3" "11:01:00 上课.mp3"
    clock_step "2027-03-17 10:00:20" "2027-03-17 11:00:20" # 10:30 jumped over; 11:00 twenty seconds ago
    wait_for_fake "2027-03-17 11:01:15"
    program_stop
    judge_rings clock_forward_hour "ring 2027-03-17 10:00:00" "silent 2027-03-17 10:30:00" \
        "ring 2027-03-17 11:00:00" "ring 2027-03-17 11:01:00"
}

# Back an hour, and forward again just before the times that rang, so their second pass comes in
# seconds instead of an hour.
clock_back_hour() {
    local dir
    scenario_program clock-back-hour Asia/Shanghai "2027-03-17 09:59:45" \
        "10:00:00 上课.mp3" "10:01:00 下课.mp3" "10:02:00 预备.mp3"
    clock_step "2027-03-17 10:01:20" "2027-03-17 09:01:20"
    clock_step "2027-03-17 09:01:35" "2027-03-17 10:00:50"
    wait_for_fake "2027-03-17 10:02:15"
    program_stop
    judge_rings clock_back_hour "ring 2027-03-17 10:00:00" "ring 2027-03-17 10:01:00" "ring 2027-03-17 10:02:00"
}

# A day ahead, back, and ahead again: each date rings its own entries, an entry that rang on the
# Thursday does not ring there again, and the Thursday's later entries still ring.
date_ahead_and_back() {
    local dir
    scenario_program date-ahead-and-back Asia/Shanghai "2027-03-17 09:59:45" \
        "10:00:00 上课.mp3" "10:02:00 下课.mp3" "10:04:00 预备.mp3"
    clock_step "2027-03-17 10:00:10" "2027-03-18 10:01:50"
    clock_step "2027-03-18 10:02:10" "2027-03-17 10:03:50"
    clock_step "2027-03-17 10:04:10" "2027-03-18 10:01:50"
    wait_for_fake "2027-03-18 10:04:15"
    program_stop
    judge_rings date_ahead_and_back \
        "ring 2027-03-17 10:00:00" "silent 2027-03-17 10:02:00" "ring 2027-03-17 10:04:00" \
        "silent 2027-03-18 10:00:00" "ring 2027-03-18 10:02:00" "ring 2027-03-18 10:04:00"
}

# 01:59:59 is followed by 03:00:00: the entry of the missing hour never sounds (any sound there
# would be unexpected), the entries around the change ring.
dst_begins() {
    local dir
    scenario_program dst-begins Europe/Berlin "2027-03-28 01:59:40" \
        "01:59:55 上课.mp3" "02:30:00 下课.mp3" "03:00:30 预备.mp3"
    wait_for_fake "2027-03-28 03:00:45"
    program_stop
    judge_rings dst_begins "ring 2027-03-28 01:59:55" "ring 2027-03-28 03:00:30"
}

# 02:59:59 summer time is followed by 02:00:00 winter time. After the change the clock is moved on
# to just before the repeated 02:59:45, which must not ring a second time.
dst_ends() {
    local dir
    scenario_program dst-ends Europe/Berlin "2027-10-31 02:59:30 +0200" \
        "02:59:45 上课.mp3" "03:00:15 预备.mp3"
    clock_step "2027-10-31 02:00:05 +0100" "2027-10-31 02:59:35 +0100"
    wait_for_fake "2027-10-31 03:00:30 +0100"
    program_stop
    judge_rings dst_ends "ring 2027-10-31 02:59:45 +0200" "silent 2027-10-31 02:59:45 +0100" \
        "ring 2027-10-31 03:00:15 +0100"
}

# No tick for two minutes: 10:01 is more than a minute overdue when the process goes on and stays
# silent, 10:02 rings at once, 10:03 on time.
process_stopped() {
    local dir
    scenario_program process-stopped Asia/Shanghai "2027-03-17 09:59:45" \
        "10:00:00 上课.mp3" "10:01:00 下课.mp3" "10:02:00 预备.mp3" "10:03:00 上课.mp3"
    wait_for_fake "2027-03-17 10:00:20"
    kill -STOP "$PROGRAM_PID"
    sleep 120
    kill -CONT "$PROGRAM_PID"
    wait_for_fake "2027-03-17 10:03:15"
    program_stop
    judge_rings process_stopped "ring 2027-03-17 10:00:00" "silent 2027-03-17 10:01:00" \
        "ring 2027-03-17 10:02:00" "ring 2027-03-17 10:03:00"
}

add_scenario clock_forward_hour clock_forward_hour
add_scenario clock_back_hour clock_back_hour
add_scenario date_ahead_and_back date_ahead_and_back
add_scenario dst_begins dst_begins
add_scenario dst_ends dst_ends
add_scenario process_stopped process_stopped
