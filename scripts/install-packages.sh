#!/usr/bin/env bash
# Installs whichever of the packages in debian-packages.txt are missing.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
missing=()
while read -r pkg; do
  [[ -z "$pkg" || "$pkg" == \#* ]] && continue
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
done <"$here/debian-packages.txt"
[[ ${#missing[@]} -eq 0 ]] && exit 0
sudo=""
[[ $(id -u) -ne 0 ]] && sudo="sudo"
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
# The vsftpd package may start a system server on port 21; tests start their own.
if [[ " ${missing[*]} " == *" vsftpd "* ]]; then
  $sudo service vsftpd stop >/dev/null 2>&1 || true
fi
