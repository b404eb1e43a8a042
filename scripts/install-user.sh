#!/usr/bin/env bash
# Installs what is missing, builds the program and installs it for the current
# user under ~/.local (or PREFIX): the program, its desktop menu entry, icons
# and AppStream metainfo. Removing it: xargs rm -f < build/install_manifest.txt
#   bash scripts/install-user.sh [PREFIX]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
prefix=$(realpath -m "${1:-$HOME/.local}")
"$top/scripts/install-packages.sh"
cmake -S "$top" -B "$top/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$top/build" -j "$(nproc)" --target vrex vrex_icons
cmake --install "$top/build" --prefix "$prefix" --strip
echo "Installed Vrex Explorer as $prefix/bin/vrex, with its menu entry and icons."
case ":$PATH:" in
  *":$prefix/bin:"*) ;;
  *) echo "Note: $prefix/bin is not on PATH; the menu entry starts 'vrex' from PATH," \
    "so log in again (Debian adds ~/.local/bin at login once it exists) or add it." ;;
esac
