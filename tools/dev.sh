#!/usr/bin/env bash
# Knobwise's one-stop developer command.
#
#   tools/dev.sh test   install what is missing, build, run every test
#   tools/dev.sh run    install what is missing, build, start the program
#   tools/dev.sh deps   only install what is missing
#
# Installing needs root or sudo and is skipped when everything is present.
# KNOBWISE_BUILD_DIR chooses the build directory (default: build).
set -euo pipefail

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${KNOBWISE_BUILD_DIR:-$top/build}

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-svg-dev libqt6svg6 qt6-qpa-plugins
  libsqlite3-dev libgtest-dev libbenchmark-dev
  clang-format
  xvfb xauth openbox xdotool x11-utils
  fonts-liberation fonts-dejavu-core
  desktop-file-utils appstream
)

deps() {
  local missing=()
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

configure() {
  cmake -S "$top" -B "$build" -G Ninja -DKNOBWISE_TESTS=ON -DKNOBWISE_BENCH=ON "$@"
}

case "${1:-}" in
  deps)
    deps
    ;;
  test)
    deps
    configure
    cmake --build "$build"
    ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
    ;;
  run)
    deps
    configure
    cmake --build "$build" --target knobwise
    exec "$build/app/knobwise"
    ;;
  *)
    echo "usage: $0 test|run|deps" >&2
    exit 2
    ;;
esac
