#!/usr/bin/env bash
# The Debian package: cpack builds it from the build into a throw-away
# folder, and Debian's checker, lintian, reports no error and no warning on
# it (missing manual pages or changelog, their compression, the binaries'
# stripping and libraries, file modes...). Skipped when lintian or dpkg-deb
# is not installed.
#
#   package_test.sh CPACK BUILD_DIR
set -euo pipefail

cpack=$1
build=$2
for tool in lintian dpkg-deb; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed"
        exit 77
    fi
done
. "$(dirname "${BASH_SOURCE[0]}")/support/e2e_lib.sh"

"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
    fail "cpack failed: $(cat "$work/cpack.log")"
debs=("$work"/*.deb)
[ -f "${debs[0]}" ] || fail "cpack wrote no package: $(cat "$work/cpack.log")"
# Only this checker's own settings, not those of whoever runs the test.
status=0
lintian --no-cfg "${debs[0]}" >"$work/lintian.log" 2>&1 || status=$?
cat "$work/lintian.log"
! grep -q '^[EW]: ' "$work/lintian.log" || fail "lintian reports errors or warnings"
[ "$status" -eq 0 ] || fail "lintian failed (exit code $status)"
echo "PASS"
