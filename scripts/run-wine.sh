#!/usr/bin/env bash
# Runs a Windows console program under wine in a prefix of its own, without asking anything:
#   scripts/run-wine.sh PREFIX_DIR PROGRAM.exe [ARGUMENTS...]
# The prefix is made on first use (32-bit, no Mono or Gecko, bounded in time) and reused after.
# Exits with the program's code; 124 when something took too long.
set -euo pipefail
if [ $# -lt 2 ]; then
    echo "usage: run-wine.sh PREFIX_DIR PROGRAM.exe [ARGUMENTS...]" >&2
    exit 2
fi
prefix=$(realpath -m "$1")
shift
if ! command -v wine >/dev/null; then
    echo "run-wine: wine is not installed; scripts/install-deps.sh installs it" >&2
    exit 127
fi

export WINEPREFIX="$prefix"
export WINEARCH=win32
export WINEDEBUG=-all
# The installers of these two would open dialogs; a console program needs neither.
export WINEDLLOVERRIDES="mscoree,mshtml="
# A console program needs no display, and none should appear on a developer's desktop.
unset DISPLAY WAYLAND_DISPLAY

mkdir -p "$(dirname "$prefix")"
(
    # One initialisation at a time; a prefix left half-made by a timeout is made again.
    flock 9
    if [ ! -f "$prefix/.mst-ready" ]; then
        rm -rf "$prefix"
        echo "run-wine: creating the wine prefix $prefix" >&2
        if ! timeout 300 wineboot --init || ! timeout 120 wineserver --wait; then
            echo "run-wine: making the wine prefix failed or took too long" >&2
            exit 124
        fi
        touch "$prefix/.mst-ready"
    fi
) 9>"$prefix.lock"

status=0
timeout 300 wine "$@" || status=$?
# Leaves no wine server behind for this prefix.
timeout 60 wineserver --wait || true
exit "$status"
