#!/usr/bin/env bash
# The main job: build the viewer and start it.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
bash tools/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVIEWER_TESTS=OFF >/dev/null
cmake --build build -j "$(nproc)"
if [ -n "${DISPLAY:-}" ]; then
  exec build/bin/viewer "$@"
else
  echo "No display: starting the viewer under a virtual X server."
  exec xvfb-run -a -s "-screen 0 1280x1024x24" build/bin/viewer "$@"
fi
