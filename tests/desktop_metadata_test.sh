#!/usr/bin/env bash
# The menu entry and the AppStream description pass their validators
# (packages desktop-file-utils and appstream); skipped when one is missing.
#
#   desktop_metadata_test.sh DESKTOP_FILE METAINFO_FILE
set -euo pipefail

for tool in desktop-file-validate appstreamcli; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed"
        exit 77
    fi
done
# desktop-file-validate prints hints but fails only on errors; so does
# appstreamcli without --pedantic. --no-net: the addresses are not fetched.
desktop-file-validate "$1"
appstreamcli validate --no-net "$2"
echo "PASS"
