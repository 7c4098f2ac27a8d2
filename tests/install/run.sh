#!/usr/bin/env bash
# Installs the build tree's library into a scratch prefix, configures and
# builds the consumer project against it and runs it.
# usage: run.sh BUILD_DIR SOURCE_DIR [extra compile and link flags]
set -euo pipefail
build=$1 source=$2 flags=${3:-}
work=$build/install-test
rm -rf "$work"
cmake --install "$build" --prefix "$work/prefix" >/dev/null
cmake -S "$source/tests/install/consumer" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
      -DCMAKE_PREFIX_PATH="$work/prefix" -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" >/dev/null
cmake --build "$work/build" >/dev/null
"$work/build/consumer" "$source/samples/sphere_flow.kvf"
