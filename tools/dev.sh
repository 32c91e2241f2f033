#!/usr/bin/env bash
# Knobwise's one-stop developer command.
#
#   tools/dev.sh test             install what is missing, build, run every
#                                 test; then all of it again, sanitized
#   tools/dev.sh test-sanitized   only the sanitized run
#   tools/dev.sh run              install what is missing, build, start the program
#   tools/dev.sh deps             only install what is missing
#   tools/dev.sh format-check     fails when a source differs from what
#                                 clang-format (.clang-format) makes of it
#   tools/dev.sh format           rewrites the sources as clang-format does
#
# Installing needs root or sudo and is skipped when everything is present.
# KNOBWISE_BUILD_DIR chooses the build directory (default: build); the
# sanitized build (AddressSanitizer, UndefinedBehaviorSanitizer, leak checks
# on) goes beside it, to <build>-sanitized.
set -euo pipefail

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${KNOBWISE_BUILD_DIR:-$top/build}

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-svg-dev libqt6svg6 qt6-qpa-plugins libxcb1-dev
  libsqlite3-dev libyaml-cpp-dev libgtest-dev libbenchmark-dev
  clang-format
  xvfb xauth openbox xdotool x11-utils
  at-spi2-core dbus-x11 python3-pyatspi
  fonts-liberation fonts-dejavu-core
  desktop-file-utils appstream
  dpkg-dev lintian
  wine wine64 gcc-mingw-w64-x86-64-win32
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

# Every test again, built with the sanitizers. Leaks are errors, except the
# few that system libraries make by design (tools/lsan.supp).
test_sanitized() {
  local sanitized=$build-sanitized
  export ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  export LSAN_OPTIONS=suppressions=$top/tools/lsan.supp
  cmake -S "$top" -B "$sanitized" -G Ninja -DKNOBWISE_TESTS=ON -DKNOBWISE_BENCH=OFF -DKNOBWISE_SANITIZE=ON
  cmake --build "$sanitized"
  ctest --test-dir "$sanitized" --output-on-failure -j"$(nproc)"
}

# Our C and C++ sources, as git knows them.
sources() {
  git -C "$top" ls-files -z '*.cpp' '*.h' '*.c'
}

check_format() {
  (cd "$top" && sources | xargs -0 clang-format --dry-run --Werror)
  echo "The sources are formatted as .clang-format says."
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
    test_sanitized
    ;;
  test-sanitized)
    deps
    test_sanitized
    ;;
  format-check)
    deps
    check_format
    ;;
  format)
    deps
    (cd "$top" && sources | xargs -0 clang-format -i)
    ;;
  run)
    deps
    configure
    cmake --build "$build" --target knobwise
    exec "$build/app/knobwise"
    ;;
  *)
    echo "usage: $0 test|test-sanitized|run|deps|format-check|format" >&2
    exit 2
    ;;
esac
