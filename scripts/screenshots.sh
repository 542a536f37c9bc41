#!/usr/bin/env bash
# Makes the pictures of the main window and the configuration dialog on a virtual display, into
# help/, where the manual and the README show them. Run it again whenever the windows change.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh test
cmake --preset test >/dev/null
cmake --build --preset test --target pd_window_pictures
# The windows as the desktop draws them (xcb), not the offscreen stand-in of the tests.
env -u QT_QPA_PLATFORM xvfb-run -a -s "-screen 0 1280x1024x24" build/test/tests/pd_window_pictures help
