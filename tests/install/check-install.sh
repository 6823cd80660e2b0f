#!/usr/bin/env bash
# Installs the build in BUILD_DIR into a scratch root and checks that the program,
# its icons, desktop entry, manual page, documentation and AppStream metadata land in
# the usual places; then builds the Debian package from the same build and fails on
# any error or warning of lintian, appstreamcli and desktop-file-validate.
set -euo pipefail
build=${1:?build folder}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
root=$scratch/root
DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null
fail=0
for f in usr/bin/Praatkist usr/share/applications/praatkist.desktop \
         usr/share/icons/hicolor/scalable/apps/praatkist.svg \
         usr/share/icons/hicolor/{16x16,24x24,32x32,48x48}/apps/praatkist.png \
         usr/share/man/man1/Praatkist.1.gz \
         usr/share/doc/praatkist/{copyright,changelog.gz}; do
  [ -s "$root/$f" ] || { echo "missing: /$f"; fail=1; }
done
[ -x "$root/usr/bin/Praatkist" ] || { echo "not executable: /usr/bin/Praatkist"; fail=1; }
desktop=$root/usr/share/applications/praatkist.desktop
for line in 'Name=Praatkist' 'Comment=Snel spraak-opnames maken' 'Exec=Praatkist' 'Icon=praatkist' \
            'Categories=AudioVideo;Audio;Recorder;'; do
  grep -qxF "$line" "$desktop" || { echo "desktop entry lacks: $line"; fail=1; }
done
metainfo=("$root"/usr/share/metainfo/*.metainfo.xml)
if [ ${#metainfo[@]} -ne 1 ] || [ ! -s "${metainfo[0]}" ]; then
  echo "expected one AppStream file in /usr/share/metainfo"; fail=1
elif ! grep -qF "<id>$(basename "${metainfo[0]}" .metainfo.xml)</id>" "${metainfo[0]}"; then
  echo "the AppStream file is not named after its id"; fail=1
fi
[ $fail -eq 0 ] && echo "install: all files in place"

# The package, from the same build. Problems are lines "E: ..." or "W: ..." (lintian,
# appstreamcli) and "...: error: ..." or "...: warning: ..." (desktop-file-validate).
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/pkg" >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log"; exit 1; }
deb=("$scratch"/pkg/praatkist_*.deb)
[ -f "${deb[0]}" ] || { echo "cpack made no package"; cat "$scratch/cpack.log"; exit 1; }
unpacked=$scratch/unpacked
dpkg-deb -x "${deb[0]}" "$unpacked"
check() { # name, command...: shows the output, fails on a problem line or a failed run
  local name=$1 out status=0
  shift
  out=$("$@" 2>&1) || status=$?
  # lintian's own remark about being run as root is about the run, not the package
  out=$(grep -v 'running with root privileges is not recommended' <<<"$out" || true)
  [ -z "$out" ] || printf '%s\n' "$out" | sed "s/^/$name: /"
  if [ $status -ne 0 ] || grep -qE '^ *[EW]: |: (error|warning): ' <<<"$out"; then
    echo "$name: FAILED"; fail=1
  fi
}
check lintian lintian --fail-on error,warning --color never "${deb[0]}"
for m in "$unpacked"/usr/share/metainfo/*.xml; do
  check appstream appstreamcli validate --no-net "$m"
done
# the whole tree: the metainfo file's desktop entry and icon are there too
check appstream-tree appstreamcli validate-tree --no-net "$unpacked"
for d in "$unpacked"/usr/share/applications/*.desktop; do
  check desktop-entry desktop-file-validate "$d"
done
[ $fail -eq 0 ] && echo "package: $(basename "${deb[0]}") passes lintian, appstreamcli and desktop-file-validate"
exit $fail
