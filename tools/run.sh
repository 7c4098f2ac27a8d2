#!/usr/bin/env bash
# The main job: build the viewer and open the bundled sample scene (or the
# arguments given).  Without a display the viewer draws its first frame on
# a virtual X server and writes it to build/first_frame.png.
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
  echo "No display: drawing the first frame on a virtual X server."
  exec xvfb-run -a -s "-screen 0 1280x1024x24" build/bin/viewer "${args[@]}" --snapshot build/first_frame.png
fi
