#!/usr/bin/env bash
# Installs what Paperdart needs, builds it and starts it. Without a scanner it offers SANE's
# virtual test scanner, so the whole job can be tried at once.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh run
cmake --preset run >/dev/null
cmake --build --preset run

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    cat >&2 <<'MSG'
Paperdart is built (build/run/paperdart), but there is no display to show its window on.
Start it from a desktop session, or give it a virtual display:
    sudo apt-get install xvfb && xvfb-run -a bash scripts/run.sh
MSG
    exit 1
fi

if ! timeout 60 scanimage -L 2>/dev/null | grep -q '^device'; then
    export SANE_CONFIG_DIR="$PWD/scripts/sane-demo"
    echo "No scanner found: Paperdart starts with SANE's virtual test scanner (ten A4 pages from the feeder)."
fi

exec build/run/paperdart
