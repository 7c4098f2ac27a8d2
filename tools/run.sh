#!/usr/bin/env bash
# The main job: build the viewer and open the bundled sample scene (or the
# arguments given).  Without a display the viewer renders one frame with its
# software renderer (no X server, no OpenGL) into build/first_frame.png.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
bash tools/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVIEWER_TESTS=OFF >/dev/null
cmake --build build -j "$(nproc)"
args=("$@")
if [ ${#args[@]} -eq 0 ]; then
  args=(samples/sphere_flow.kvf)
fi
if [ -n "${DISPLAY:-}" ]; then
  exec build/bin/viewer "${args[@]}"
else
  echo "No display: rendering one frame without a window."
  exec build/bin/viewer --output build/first_frame.png --size 1280x1024 "${args[@]}"
fi
