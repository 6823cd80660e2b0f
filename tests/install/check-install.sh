#!/usr/bin/env bash
# Installs the build in BUILD_DIR into a scratch root and checks that the program,
# its icons and its desktop entry land in the usual places.
set -euo pipefail
build=${1:?build folder}
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null
fail=0
for f in usr/bin/Praatkist usr/share/applications/praatkist.desktop \
         usr/share/icons/hicolor/scalable/apps/praatkist.svg \
         usr/share/icons/hicolor/{16x16,24x24,32x32,48x48}/apps/praatkist.png; do
  [ -s "$root/$f" ] || { echo "missing: /$f"; fail=1; }
done
[ -x "$root/usr/bin/Praatkist" ] || { echo "not executable: /usr/bin/Praatkist"; fail=1; }
desktop=$root/usr/share/applications/praatkist.desktop
for line in 'Name=Praatkist' 'Comment=Snel spraak-opnames maken' 'Exec=Praatkist' 'Icon=praatkist' \
            'Categories=AudioVideo;Audio;Recorder;'; do
  grep -qxF "$line" "$desktop" || { echo "desktop entry lacks: $line"; fail=1; }
done
[ $fail -eq 0 ] && echo "install: all files in place"
exit $fail
