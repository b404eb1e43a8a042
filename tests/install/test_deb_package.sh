#!/usr/bin/env bash
# Builds the .deb with CPack, installs it with dpkg, starts the program from its
# desktop entry's command (offscreen), then purges it and checks nothing of it
# is left. Changes the system, so it runs only as root (CI's throw-away machine)
# and never leaves the package installed, even when a check fails.
#   test_deb_package.sh BUILD_DIR VERSION
set -euo pipefail
build=$1
version=$2
pkg=vrex-explorer
app_id=example.orvane.VrexExplorer
skip=77 # CTest's SKIP_RETURN_CODE for this test

if [[ $(id -u) -ne 0 ]]; then
  echo "SKIP: installing a .deb needs root; run as root to check the package"
  exit $skip
fi
for tool in dpkg dpkg-deb dpkg-shlibdeps cpack xdg-mime; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is missing (Debian packages dpkg, dpkg-dev and xdg-utils)"
    exit $skip
  fi
done
# Other build trees on this machine may run this test at the same time: one at
# a time, or they would purge each other's package.
lock_dir=/run/lock
[[ -d $lock_dir ]] || lock_dir=/tmp
exec 9>"$lock_dir/vrex-explorer-deb-test.lock"
flock -w 240 9 || { echo "FAIL: another run of this test holds the lock"; exit 1; }
is_installed() {
  dpkg-query -W -f='${db:Status-Status}' "$pkg" 2>/dev/null | grep -qv '^not-installed$'
}
if is_installed || [[ -e /usr/bin/vrex ]]; then
  echo "FAIL: $pkg or /usr/bin/vrex is already on this system; remove it first:" \
    "dpkg --purge $pkg"
  exit 1
fi

work=$(mktemp -d)
installed=0
app_pid=""
cleanup() {
  if [[ -n "$app_pid" ]]; then kill "$app_pid" 2>/dev/null || true; fi
  if [[ $installed -eq 1 ]]; then dpkg --purge "$pkg" >/dev/null 2>&1 || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP
fail() {
  echo "FAIL: $*"
  exit 1
}
started=$SECONDS

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/pkg" >"$work/cpack.log" 2>&1 \
  || { cat "$work/cpack.log"; fail "cpack -G DEB failed"; }
debs=("$work"/pkg/*.deb)
[[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || fail "cpack made no single .deb: ${debs[*]}"
deb=${debs[0]}
echo "built $(basename "$deb") in $((SECONDS - started)) s"

field() { dpkg-deb -f "$deb" "$1"; }
[[ $(field Package) == "$pkg" ]] || fail "Package is '$(field Package)'"
[[ $(field Version) == "$version" ]] || fail "Version is '$(field Version)', not $version"
[[ -n $(field Maintainer) && -n $(field Description) ]] || fail "Maintainer or Description empty"
[[ $(field Description) != *" ;"* ]] || fail "Description holds a CMake list separator: $(field Description)"
for dep in libqt6widgets6 libqt6svg6 libc6; do
  field Depends | grep -q "\b$dep\b" || fail "Depends lacks $dep: $(field Depends)"
done
echo "Depends: $(field Depends)"
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\./, "", $6); print $6 }' >"$work/files"

installed=1
dpkg -i "$deb" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg -i failed"; }
entry=/usr/share/applications/$app_id.desktop
for f in /usr/bin/vrex "$entry" /usr/share/metainfo/$app_id.metainfo.xml \
  /usr/share/icons/hicolor/scalable/apps/$app_id.svg \
  /usr/share/icons/hicolor/48x48/apps/$app_id.png; do
  [[ -f $f ]] || fail "$f is not installed"
done

# The desktop's database (rebuilt by dpkg's trigger) names the entry as the
# handler of ftp://, ftps:// and sftp:// links; an empty home has no choice of its own.
for scheme in ftp ftps sftp; do
  handler=$(env -u XDG_CURRENT_DESKTOP HOME="$work/home" XDG_CONFIG_HOME="$work/config" \
    XDG_DATA_HOME="$work/data" xdg-mime query default "x-scheme-handler/$scheme")
  [[ $handler == "$app_id.desktop" ]] || fail "$scheme:// links open '$handler', not $app_id.desktop"
done
echo "ftp://, ftps:// and sftp:// links open $app_id.desktop"

# The entry's command, field codes (%f, %U, ...) dropped, found on PATH as a
# desktop would; --screenshot makes the program draw its window and quit.
read -ra exec_cmd <<<"$(sed -n 's/^Exec=//p' "$entry" | sed 's/%[A-Za-z]//g')"
[[ $(command -v "${exec_cmd[0]}") == /usr/bin/vrex ]] || fail "Exec=${exec_cmd[0]} is not /usr/bin/vrex"
mkdir -p "$work/home" "$work/config" "$work/data" "$work/tmp"
mkdir -m 700 "$work/runtime"
(cd / && exec env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen HOME="$work/home" \
  XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/runtime" \
  TMPDIR="$work/tmp" "${exec_cmd[@]}" --screenshot "$work/shot.png") >"$work/app.log" 2>&1 &
app_pid=$!
# Guards against a hang only: the program quits about two seconds after start.
deadline=$((SECONDS + 60))
while kill -0 "$app_pid" 2>/dev/null && ((SECONDS < deadline)); do sleep 0.2; done
kill -0 "$app_pid" 2>/dev/null && { cat "$work/app.log"; fail "program still running after 60 s"; }
rc=0
wait "$app_pid" || rc=$?
app_pid=""
[[ $rc -eq 0 && -s "$work/shot.png" ]] || { cat "$work/app.log"; fail "program exited $rc without drawing its window"; }
echo "started from the desktop entry's command and drew its window"

dpkg --purge "$pkg" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg --purge failed"; }
installed=0
is_installed && fail "$pkg is still known to dpkg after --purge"
while read -r f; do
  [[ -e $f ]] && fail "$f is left after --purge"
done <"$work/files"
left=$(find /usr/share/applications /usr/share/metainfo /usr/share/icons/hicolor /usr/share/doc \
  -name "$app_id*" -o -name "$pkg" 2>/dev/null || true)
[[ -z $left ]] || fail "left after --purge: $left"
echo "PASS: built, installed, started and purged in $((SECONDS - started)) s"
