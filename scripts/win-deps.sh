#!/usr/bin/env bash
# Cross-builds the libraries Praatkist needs on 64-bit Windows from Debian's source
# packages, static:
#
#   LAME, libmpg123, libsndfile (MPEG on, external codecs off), GoogleTest and QtCore;
#   with --gui also Qt Gui, Widgets and the Windows platform plugin.
#
# Each library is built once per machine, into a folder of its own in a cache outside
# the clone: CACHE/<library>-<key>. The key is a hash of what goes into the library:
# its recipe below (the recipe function, the helpers it names and their settings), the
# version of its source package, the cross toolchain and the keys of the libraries it
# is built against. So a later clone reuses what an earlier one built, and a change to
# one recipe, or to the rest of this script, rebuilds only what it changes. Then
# DEPS_DIR/prefix offers them all in one tree (links into the cache, licence texts
# copied), for CMAKE_PREFIX_PATH.
#
#   PRAATKIST_DEPS_CACHE  the cache (default /var/cache/praatkist/win-deps where it can
#                         be written, else ~/.cache/praatkist/win-deps)
#   BUILD_DIR  cross-build folder (default <repo>/build-win); DEPS_DIR = BUILD_DIR/deps
#              holds the sources, the build folders while a library builds, the logs
#              (DEPS_DIR/logs/<library>.log) and the prefix
#   JOBS       parallel jobs (default 2)
#
#   scripts/win-deps.sh [--gui]         build what is missing, make the prefix
#   scripts/win-deps.sh --folder NAME   print the cache folder of library NAME
# Needs `scripts/install-deps.sh windows`.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-win}
deps=${DEPS_DIR:-$build/deps}
prefix=$deps/prefix
jobs=${JOBS:-2}
gui=0
show=
while [ $# -gt 0 ]; do
  case "$1" in
    --gui) gui=1 ;;
    --folder)
      show=${2:?--folder needs a library name}
      shift
      ;;
    *)
      echo "usage: $0 [--gui] [--folder NAME]" >&2
      exit 2
      ;;
  esac
  shift
done

if [ -n "${PRAATKIST_DEPS_CACHE:-}" ]; then
  cache=$PRAATKIST_DEPS_CACHE
elif mkdir -p /var/cache/praatkist/win-deps 2>/dev/null && [ -w /var/cache/praatkist/win-deps ]; then
  cache=/var/cache/praatkist/win-deps
else
  cache=${XDG_CACHE_HOME:-$HOME/.cache}/praatkist/win-deps
fi
mkdir -p "$cache" "$deps/src" "$deps/logs"
cache=$(cd "$cache" && pwd)

triple=x86_64-w64-mingw32
toolchain=$root/cmake/mingw-w64.cmake
export CC=$triple-gcc-posix CXX=$triple-g++-posix AR=$triple-gcc-ar-posix RANLIB=$triple-gcc-ranlib-posix

say() { echo "win-deps: $*" >&2; }
# runs a build step with its output in the library's log; shows the log's end on failure
logged() {
  if ! "$@" >>"$log" 2>&1; then
    echo "win-deps: a step failed; the end of $log:" >&2
    tail -30 "$log" >&2
    exit 1
  fi
}

# ---- Debian's source packages ----------------------------------------------------------

# a deb-src line for the suites the system installs from
ensure_deb_src() {
  if apt-get source --print-uris lame >/dev/null 2>&1; then return; fi
  local sudo=
  if [ "$(id -u)" -ne 0 ]; then sudo=sudo; fi
  say "adding deb-src for the system's suites"
  local src=/etc/apt/sources.list.d/debian.sources
  if [ -f "$src" ]; then
    sed 's/^Types: deb$/Types: deb-src/' "$src" | $sudo tee /etc/apt/sources.list.d/praatkist-deb-src.sources >/dev/null
  else
    grep -h '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' |
      $sudo tee /etc/apt/sources.list.d/praatkist-deb-src.list >/dev/null
  fi
  $sudo apt-get update -qq
}

# the version of source package $1 that apt-get source fetches
declare -A version_of
source_version() {
  local v
  v=$(apt-get source --print-uris "$1" 2>/dev/null |
    sed -n "s/^'[^']*' $1_\([^ ]*\)\.dsc .*/\1/p" | head -1)
  [ -n "$v" ] || { say "no source package $1"; exit 1; }
  version_of[$1]=$v
}

# unpacks the source package $1 (the version found above) once; prints its folder
fetch() {
  local pkg=$1 ver=${version_of[$1]} into dir
  into=$deps/src/${pkg}_$ver
  dir=$(find "$into" -maxdepth 1 -mindepth 1 -type d 2>/dev/null | head -1)
  if [ -z "$dir" ]; then
    rm -rf "$into"
    mkdir -p "$into"
    (cd "$into" && apt-get source -qq "$pkg=$ver" >>"$deps/logs/$pkg.log" 2>&1) || true
    dir=$(find "$into" -maxdepth 1 -mindepth 1 -type d | head -1)
    if [ -z "$dir" ]; then
      # A security update's .dsc may list an upstream signature (.asc) that the
      # archive no longer serves: unpack without the files that are missing.
      local dsc
      dsc=$(find "$into" -maxdepth 1 -name "${pkg}_*.dsc" | head -1)
      [ -n "$dsc" ] || { say "no source package $pkg=$ver"; exit 1; }
      (
        cd "$into"
        local name
        cp "$dsc" unpack.dsc
        for name in $(awk '/^ [0-9a-f]+ [0-9]+ /{print $3}' "$dsc" | sort -u); do
          [ -e "$name" ] || sed -i "/ $name\$/d" unpack.dsc
        done
        dpkg-source --no-check -x unpack.dsc src >>"$deps/logs/$pkg.log" 2>&1
        rm -f unpack.dsc
      )
      dir=$(find "$into" -maxdepth 1 -mindepth 1 -type d | head -1)
    fi
    if [ -z "$dir" ]; then
      # Nor Debian's own part (its debian.tar) may be served any more: the upstream
      # tarball alone, without Debian's patches.
      local orig
      orig=$(find "$into" -maxdepth 1 -name "${pkg}_*.orig.tar.*" | head -1)
      [ -n "$orig" ] || { say "no source of $pkg=$ver"; exit 1; }
      mkdir -p "$into/src"
      tar -xf "$orig" -C "$into/src" --strip-components=1
      dir=$into/src
    fi
  fi
  echo "$dir"
}

# ---- recipes ---------------------------------------------------------------------------
# Each runs in a subshell with P (the library's cache folder, its install prefix), B (an
# empty build folder) and DEPENDS (the cache folders of the libraries it builds against).

licences() { # name file...
  local name=$1 f
  shift
  mkdir -p "$P/share/licenses/$name"
  for f in "$@"; do
    [ -f "$f" ] && cp "$f" "$P/share/licenses/$name/"
  done
  return 0
}

autotools_build() { # source configure-args...
  local src=$1
  shift
  cd "$B"
  logged "$src/configure" --host=$triple --prefix="$P" --disable-shared --enable-static "$@"
  logged make -j"$jobs"
  logged make install
}

cmake_build() { # source cmake-args...
  local src=$1 paths
  shift
  paths=$(
    IFS=';'
    echo "${DEPENDS[*]}"
  )
  logged cmake -S "$src" -B "$B" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$P" \
    -DCMAKE_PREFIX_PATH="$paths" -DBUILD_SHARED_LIBS=OFF "$@"
  logged cmake --build "$B" -j"$jobs"
  logged cmake --install "$B"
}

recipe_lame() {
  local src
  src=$(fetch lame)
  autotools_build "$src" --disable-frontend --disable-decoder --disable-gtktest
  licences LAME "$src/COPYING"
}

recipe_mpg123() {
  local src
  src=$(fetch mpg123)
  autotools_build "$src" --with-audio=dummy --disable-components --enable-libmpg123 --disable-modules
  licences mpg123 "$src/COPYING"
}

recipe_sndfile() {
  local src
  src=$(fetch libsndfile)
  cmake_build "$src" -DENABLE_EXTERNAL_LIBS=OFF -DENABLE_MPEG=ON \
    -DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_TESTING=OFF -DENABLE_CPACK=OFF \
    -DINSTALL_MANPAGES=OFF -DENABLE_PACKAGE_CONFIG=ON
  licences libsndfile "$src/COPYING"
}

recipe_soxr() {
  local src
  src=$(fetch libsoxr)
  cmake_build "$src" -DBUILD_TESTS=OFF -DBUILD_EXAMPLES=OFF -DWITH_OPENMP=OFF \
    -DWITH_LSR_BINDINGS=OFF
  licences libsoxr "$src/LICENCE" "$src/COPYING.LGPL"
}

recipe_gtest() {
  cmake_build /usr/src/googletest -DINSTALL_GTEST=ON -DBUILD_GMOCK=OFF
}

qt_common=(
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
  -DFEATURE_tabletevent=OFF -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_xml=OFF
  -DFEATURE_dbus=OFF -DFEATURE_concurrent=OFF -DFEATURE_printsupport=OFF -DFEATURE_testlib=OFF
  -DFEATURE_opengl=OFF -DFEATURE_vulkan=OFF -DFEATURE_direct2d=OFF -DFEATURE_system_zlib=OFF
  -DFEATURE_sql_sqlite=OFF -DFEATURE_pkg_config=OFF -DINPUT_openssl=no
)
qt_build() { # feature-args...: configures (again) in B, builds, installs into P
  local src
  src=$(fetch qt6-base)
  # Qt 6.4's Windows platform plugin asks about software OpenGL even where OpenGL is
  # configured out; without OpenGL there is none.
  sed -i 's/^#if QT_CONFIG(dynamicgl)$/#if QT_CONFIG(dynamicgl) \&\& QT_CONFIG(opengl)/' \
    "$src/src/plugins/platforms/windows/qwindowswindow.cpp"
  # and takes the DirectWrite font database, which Qt Gui builds only with Direct2D
  sed -i 's/^#if QT_CONFIG(directwrite3)$/#if QT_CONFIG(directwrite3) \&\& QT_CONFIG(direct2d)/' \
    "$src/src/plugins/platforms/windows/qwindowsintegration.cpp"
  logged cmake -S "$src" -B "$B" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$P" -DBUILD_SHARED_LIBS=OFF \
    "${qt_common[@]}" "$@"
  logged cmake --build "$B" -j"$jobs"
  logged cmake --install "$B"
}
qt_licences() {
  local src third dir
  src=$(fetch qt6-base)
  licences Qt "$src/LICENSES/LGPL-3.0-only.txt" "$src/LICENSES/GPL-3.0-only.txt" \
    "$src/LICENSES/Qt-GPL-exception-1.0.txt"
  # what the static Qt bundles (the Windows build links only some of them)
  for third in zlib pcre2 double-conversion harfbuzz-ng freetype libpng libjpeg md4c pixman \
    tinycbor blake2 sha3 rfc6234 easing icc; do
    dir=$src/src/3rdparty/$third/
    [ -d "$dir" ] && licences "Qt-3rdparty/$third" "$dir"LICEN[CS]E* "$dir"COPYING* "$dir"*-LICENSE.txt
  done
  return 0
}

recipe_qtcore() {
  qt_build -DFEATURE_gui=OFF -DFEATURE_widgets=OFF
  qt_licences
}

# Qt Gui, Widgets and the Windows platform plugin with what Praatkist draws and asks
# for, and nothing else: the Fusion style (and the plain Windows style under it),
# accessibility (the platform's UI Automation), the native folder chooser and message
# box, rich-text labels, PNG images; Windows' own font engine. Left out: the other
# image codecs and FreeType, the document readers and writers, graphics view, dock
# windows and MDI, the date, colour, font and other stock dialogs (main windows and tool
# bars stay: Qt 6.4's Widgets does not build without them). QtCore is the
# same as qtcore's, so the tests see one Core either way. A widget left out here fails
# the Windows build at its first use: turn its feature back on below.
qt_gui_features=(
  -DFEATURE_gui=ON -DFEATURE_widgets=ON
  # Qt Gui
  -DFEATURE_freetype=OFF -DFEATURE_jpeg=OFF -DFEATURE_gif=OFF -DFEATURE_ico=OFF
  -DFEATURE_movie=OFF -DFEATURE_imageformat_ppm=OFF -DFEATURE_imageformat_xbm=OFF
  -DFEATURE_picture=OFF -DFEATURE_pdf=OFF -DFEATURE_textodfwriter=OFF
  -DFEATURE_textmarkdownreader=OFF -DFEATURE_textmarkdownwriter=OFF
  -DFEATURE_undocommand=OFF -DFEATURE_undostack=OFF -DFEATURE_undogroup=OFF
  -DFEATURE_whatsthis=OFF -DFEATURE_systemtrayicon=OFF -DFEATURE_tuiotouch=OFF
  # Qt Widgets
  -DFEATURE_style_windowsvista=OFF -DFEATURE_style_stylesheet=OFF
  -DFEATURE_graphicsview=OFF -DFEATURE_graphicseffect=OFF
  -DFEATURE_dockwidget=OFF -DFEATURE_mdiarea=OFF
  -DFEATURE_toolbox=OFF -DFEATURE_splashscreen=OFF -DFEATURE_calendarwidget=OFF
  -DFEATURE_datetimeedit=OFF -DFEATURE_dial=OFF -DFEATURE_lcdnumber=OFF
  -DFEATURE_fontcombobox=OFF -DFEATURE_commandlinkbutton=OFF -DFEATURE_keysequenceedit=OFF
  -DFEATURE_syntaxhighlighter=OFF -DFEATURE_columnview=OFF -DFEATURE_datawidgetmapper=OFF
  -DFEATURE_undoview=OFF -DFEATURE_colordialog=OFF -DFEATURE_fontdialog=OFF
  -DFEATURE_inputdialog=OFF -DFEATURE_progressdialog=OFF -DFEATURE_errormessage=OFF
  -DFEATURE_wizard=OFF
)
recipe_qtgui() {
  qt_build "${qt_gui_features[@]}"
  qt_licences
}

# ---- the cache -------------------------------------------------------------------------

toolchain_id=$(
  dpkg-query -W -f '${Package} ${Version}\n' g++-mingw-w64-x86-64-posix \
    gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev 2>/dev/null
  sha256sum <"$toolchain"
)
declare -A key_of folder_of
# library NAME "INPUTS" "HELPERS" [DEPENDENCIES...]: the key and the folder of library
# NAME; INPUTS names the versions of what goes in, HELPERS the functions and settings
# its recipe uses
library_key() {
  local name=$1 inputs=$2 helpers=$3 h d
  shift 3
  key_of[$name]=$(
    {
      echo "win-deps cache 1"
      declare -f "recipe_$name"
      for h in $helpers; do declare -f "$h" || declare -p "$h"; done
      echo "$inputs"
      echo "$toolchain_id"
      for d; do echo "$d ${key_of[$d]}"; done
    } | sha256sum | cut -c1-16
  )
  folder_of[$name]=$cache/$name-${key_of[$name]}
}
have() { [ -f "${folder_of[$1]}/.praatkist/complete" ]; }

# builds library NAME into its cache folder unless it is there; one build at a time
# per folder, also across clones
declare -a used=()
library() { # NAME DEPENDENCIES...
  local name=$1 folder=${folder_of[$1]} fd t0=$SECONDS d
  shift
  exec {fd}>"$folder.lock"
  if ! flock -n "$fd"; then
    say "waiting for another build of $name"
    flock "$fd"
  fi
  if ! have "$name"; then
    say "building $name into $folder"
    rm -rf "$folder" "$deps/build-$name"
    mkdir -p "$folder" "$deps/build-$name"
    log=$deps/logs/$name.log
    : >"$log"
    local -a depends=()
    for d; do depends+=("${folder_of[$d]}"); done
    (
      P=$folder
      B=$deps/build-$name
      DEPENDS=("${depends[@]}")
      "recipe_$name"
    )
    rm -rf "$deps/build-$name"
    mkdir -p "$folder/.praatkist"
    echo "${key_of[$name]}" >"$folder/.praatkist/complete"
    say "$name built in $((SECONDS - t0)) s"
  fi
  touch "$folder/.praatkist/used"
  exec {fd}>&-
  used+=("$name")
}

ensure_deb_src
source_version lame
source_version mpg123
source_version libsndfile
source_version libsoxr
source_version qt6-base
gtest_version=$(dpkg-query -W -f '${Version}' googletest)
host_qt=$(dpkg-query -W -f '${Version}' qt6-base-dev-tools)

library_key lame "lame ${version_of[lame]}" "autotools_build licences"
library_key mpg123 "mpg123 ${version_of[mpg123]}" "autotools_build licences"
library_key sndfile "libsndfile ${version_of[libsndfile]}" "cmake_build licences" lame mpg123
library_key soxr "libsoxr ${version_of[libsoxr]}" "cmake_build licences"
library_key gtest "googletest $gtest_version" "cmake_build"
qt_inputs="qt6-base ${version_of[qt6-base]}, host tools $host_qt"
library_key qtcore "$qt_inputs" "qt_build qt_common qt_licences licences"
library_key qtgui "$qt_inputs" "qt_build qt_common qt_gui_features qt_licences licences"
if [ -n "$show" ]; then
  [ -n "${folder_of[$show]:-}" ] || { say "no library $show"; exit 2; }
  echo "${folder_of[$show]}"
  exit 0
fi

library lame
library mpg123
library sndfile lame mpg123
library soxr
library gtest
# QtCore comes with Qt Gui where that is there already
if [ "$gui" = 1 ] || have qtgui; then
  library qtgui
else
  library qtcore
fi

# ---- the prefix: every library's files, linked ------------------------------------------
if [ -e "$prefix" ] && [ ! -f "$prefix/.praatkist-links" ]; then
  # made by an older version of this script, which built into it: set aside, not lost
  say "an older prefix is kept as $prefix.old"
  rm -rf "$prefix.old"
  mv "$prefix" "$prefix.old"
fi
rm -rf "$prefix"
mkdir -p "$prefix/share/licenses"
for name in "${used[@]}"; do
  cp -rsf "${folder_of[$name]}/." "$prefix/"
done
rm -rf "$prefix/.praatkist" "$prefix/share/licenses"
# the licence texts go into the program's package: copies, not links
mkdir -p "$prefix/share/licenses/mingw-w64"
for name in "${used[@]}"; do
  if [ -d "${folder_of[$name]}/share/licenses" ]; then
    cp -rL "${folder_of[$name]}/share/licenses/." "$prefix/share/licenses/"
  fi
done
P=$prefix licences mingw-w64 /usr/share/doc/mingw-w64-common/copyright \
  /usr/share/doc/gcc-mingw-w64-base/copyright
printf '%s\n' "${used[@]}" >"$prefix/.praatkist-links"

# what has not been used for 60 days goes (another key of a library, left behind)
find "$cache" -mindepth 3 -maxdepth 3 -path '*/.praatkist/used' -mtime +60 2>/dev/null |
  while read -r stamp; do
    old=$(dirname "$(dirname "$stamp")")
    exec {fd}>"$old.lock"
    if flock -n "$fd"; then
      say "removing $old (unused for 60 days)"
      rm -rf "$old" "$old.lock"
    fi
    exec {fd}>&-
  done
say "prefix ready: $prefix"
