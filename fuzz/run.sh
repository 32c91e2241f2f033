#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for the given time.
#
#   fuzz/run.sh SECONDS [TARGET...]
#
# Without targets it runs them all, one after the other: the icon file
# reader, the icon image decoder, the .reg file reader, the path mapping,
# the picture loader, Wine's registry files, and Valve's text format.
#
# Needs the packages clang and libclang-rt-14-dev. The build goes to
# build-fuzz/ (KNOBWISE_FUZZ_BUILD_DIR overrides it). Each target starts from
# its seeds in fuzz/corpus/<target>/ and keeps what it finds in
# <build>/fuzz/corpus-<target>/; inputs that crash are written to
# <build>/fuzz/artifacts/. The exit status is nonzero when a target failed.
set -euo pipefail

seconds=${1:?usage: fuzz/run.sh SECONDS [TARGET...]}
shift
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${KNOBWISE_FUZZ_BUILD_DIR:-$top/build-fuzz}
targets=(icon_reader_fuzz icon_image_fuzz dotreg_fuzz wine_format_fuzz drives_fuzz picture_fuzz vdf_fuzz)
[ $# -eq 0 ] || targets=("$@")

CC=clang CXX=clang++ cmake -S "$top" -B "$build" -G Ninja -DKNOBWISE_FUZZ=ON \
  -DKNOBWISE_TESTS=OFF -DKNOBWISE_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target "${targets[@]}"

# Memory that system libraries keep for the whole run is not a leak of ours.
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$top/tools/lsan.supp}

status=0
mkdir -p "$build/fuzz/artifacts"
for t in "${targets[@]}"; do
  seeds="$top/fuzz/corpus/${t%_fuzz}"
  work="$build/fuzz/corpus-$t"
  mkdir -p "$work"
  echo "== $t for ${seconds}s"
  "$build/fuzz/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
    -print_final_stats=1 -artifact_prefix="$build/fuzz/artifacts/$t-" "$work" "$seeds" \
    || status=1
done
exit $status
