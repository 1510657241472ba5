#!/usr/bin/env bash
# Runs the whole test suite against a private headless sound server, so no
# test touches a sound card; widget tests use Qt's offscreen platform and the
# few that need a real X server start their own Xvfb.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
state=$(mktemp -d /tmp/voxtrella-test.XXXXXX)
cleanup() { "$root/scripts/headless-audio.sh" stop "$state" || true; rm -rf "$state"; }
trap cleanup EXIT
"$root/scripts/headless-audio.sh" start "$state"
# shellcheck disable=SC1091
source "$state/env"
cd "$build"
ctest --output-on-failure --timeout 300 -j "$(nproc)" "$@"
