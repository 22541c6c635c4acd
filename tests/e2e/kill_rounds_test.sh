#!/usr/bin/env bash
# Twenty rounds of scripts/soak.sh's kills (scripts/lib/kills.sh): the program killed with SIGKILL
# in a calendar import, in 今日静音 and 恢复响铃, in the ring log's writes while it starts and rings,
# and in a campus plan's apply, five of each; every database whole, every table one version, no
# stored ring-log row lost, and a start after a kill rings. Environment: HALVIX_APP_DIR,
# HALVIX_BUILD_DIR.
set -uo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
source "$HALVIX_LIB/kills.sh"

ensure_services
if kill_rounds 20; then pass "20 kills, every check held"; else fail "kills: see the rounds above"; fi
[ "$KILL_RANG" -ge 1 ] && pass "$KILL_RANG starts after a kill rang" || fail "no start after a kill was seen to ring"
finish kill
