#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test under CTest.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
"$here/install-packages.sh"
"$here/build.sh"
cd "$here/../build"
ctest --output-on-failure -j "$(nproc)" "$@"
