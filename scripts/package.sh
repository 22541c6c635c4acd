#!/usr/bin/env bash
# Builds the Debian package dist/halvix_<version>_amd64.deb and checks it with lintian and
# desktop-file-validate.
#
#   scripts/package.sh             a Release build in build-release (the program only), then the package
#   scripts/package.sh BUILD_DIR   the package of a build that is there already (scripts/test.sh
#                                  packages the build it has just tested instead of building again)
#
# The executable is stripped into the package either way; prints the package's path last.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/services.sh"
cd "$HALVIX_ROOT"
ensure_packages

if [ $# -eq 0 ]; then
    build=build-release
    say "build (Release)"
    cmake -S . -B "$build" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON -DCMAKE_BUILD_TYPE=Release -DHALVIX_BENCH=OFF >/dev/null
else
    build=$1
fi
cmake --build "$build" --target halvix halvix-service halvix-decode halvix_install_files -j "$(nproc)" 2>&1 |
    grep -v -E '^\[ *[0-9]+%\]|^-- |Automatic MOC|Automatic UIC|Automatic RCC' || true
[ "${PIPESTATUS[0]}" -eq 0 ]

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
deb=dist/halvix_${version}_$(dpkg --print-architecture).deb
say "package $deb"
rm -f "$deb"
(cd "$build" && cpack -G DEB -B "$HALVIX_ROOT/dist" >/dev/null)
rm -rf dist/_CPack_Packages
[ -f "$deb" ] || { say "cpack wrote no $deb"; exit 1; }

say "lintian"
lintian --fail-on error --tag-display-limit 0 "$deb"
say "desktop-file-validate"
desktop-file-validate packaging/halvix.desktop
say "$deb: $(du -h "$deb" | cut -f1)"
echo "$HALVIX_ROOT/$deb"
