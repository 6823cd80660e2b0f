#!/usr/bin/env bash
# Runs a test program as user nobody when started as root, for the cases that need
# file permissions to bind (root ignores them). Exits 77 (skipped) where nobody
# cannot reach the program, as when the build lies under root's home.
set -u
[ "$(id -u)" -eq 0 ] || exec "$@"
command -v setpriv >/dev/null || { echo "setpriv is missing"; exit 77; }
as_nobody=(setpriv --reuid=65534 --regid=65534 --clear-groups)
"${as_nobody[@]}" test -x "$1" || { echo "user nobody cannot reach $1"; exit 77; }
scratch=$(mktemp -d)
chmod 777 "$scratch"
trap 'rm -rf "$scratch"' EXIT
"${as_nobody[@]}" env HOME="$scratch" TMPDIR="$scratch" "$@"
