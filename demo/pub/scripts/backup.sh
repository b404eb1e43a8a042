#!/bin/sh
# Copies a folder into a dated archive next to it.
set -eu
src=${1:?usage: backup.sh FOLDER}
tar -czf "$src-$(date +%Y%m%d).tar.gz" "$src"
echo "saved $src-$(date +%Y%m%d).tar.gz"
