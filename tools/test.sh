#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer and
# runs every test (GoogleTest programs and fuzz corpus replays) under one
# virtual X server.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
bash tools/setup.sh
build=${VIEWER_TEST_BUILD:-build-tests}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVIEWER_SANITIZE=ON -DVIEWER_TESTS=ON \
      -DCMAKE_CXX_FLAGS="-O1" >/dev/null
cmake --build "$build" -j "$(nproc)"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
export LIBGL_ALWAYS_SOFTWARE=1
cd "$build"
xvfb-run -a -s "-screen 0 1600x1200x24" ctest --output-on-failure -j "$(nproc)" "$@"
