#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test twice: a normal build, then a build with
# AddressSanitizer and UndefinedBehaviorSanitizer. Exits non-zero on any failure.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/services.sh"
cd "$HALVIX_ROOT"

ensure_packages

werror=OFF
[ -n "${CI:-}" ] && werror=ON

trap stop_services EXIT
start_display
start_tray_host
start_sound_server
start_session_bus

status=0

say "build (normal)"
configure_and_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHALVIX_WERROR=$werror
say "tests (normal)"
(cd build && ctest --output-on-failure -j 2 -LE e2e) || status=1
(cd build && ctest --output-on-failure -L e2e) || status=1

# The package of the build just tested (stripped): a Release build of its own would add a third
# whole build to the run for the same code.
say "package"
# (Its output goes through a file: a tee to /dev/stderr would reopen, and so empty, a log that
# stdout and stderr share.)
package_output=$(mktemp)
if scripts/package.sh build >"$package_output" 2>&1 && cat "$package_output" && deb=$(tail -1 "$package_output"); then
    say "installed package"
    tests/package/installed_program_test.sh "$deb" || status=1
else
    status=1
fi

say "build (address and undefined-behaviour sanitizers)"
configure_and_build build-asan -DCMAKE_BUILD_TYPE=Debug -DHALVIX_SANITIZE=ON -DHALVIX_BENCH=OFF \
    -DHALVIX_WERROR=$werror
say "tests (sanitizers)"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# Leaks are checked in the core; the window and media libraries keep caches alive until exit.
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j 2 -L core) || status=1
(cd build-asan && ASAN_OPTIONS=detect_leaks=0 ctest --output-on-failure -j 2 -L 'ui|audio') || status=1

if [ $status -eq 0 ]; then say "all tests passed"; else say "some tests FAILED"; fi
exit $status
