#!/usr/bin/env bash
# Cross-builds the libraries Praatkist needs on 64-bit Windows from Debian's source
# packages, static, into PREFIX (default build-win/deps/prefix):
#
#   LAME, libmpg123, libsndfile (MPEG on, external codecs off), GoogleTest and QtCore;
#   with --gui also Qt Gui, Widgets and the Windows platform plugin.
#
# A library already in the prefix is kept (a stamp file per library). Needs
# `scripts/install-deps.sh windows`. Logs go to DEPS_DIR/logs/<library>.log.
#   BUILD_DIR  cross-build folder (default <repo>/build-win); DEPS_DIR = BUILD_DIR/deps
#   JOBS       parallel jobs (default 2)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-win}
deps=${DEPS_DIR:-$build/deps}
prefix=$deps/prefix
jobs=${JOBS:-2}
gui=0
for a in "$@"; do
  case "$a" in
    --gui) gui=1 ;;
    *)
      echo "usage: $0 [--gui]" >&2
      exit 2
      ;;
  esac
done

triple=x86_64-w64-mingw32
toolchain=$root/cmake/mingw-w64.cmake
mkdir -p "$deps/src" "$deps/logs" "$prefix"
export CC=$triple-gcc-posix CXX=$triple-g++-posix AR=$triple-gcc-ar-posix RANLIB=$triple-gcc-ranlib-posix
export PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig PKG_CONFIG_PATH=

say() { echo "win-deps: $*" >&2; }
stamp() { echo "$prefix/.built-$1"; }
have() { [ -f "$(stamp "$1")" ]; }
# runs a build step with its output in the library's log; shows the log's end on failure
logged() {
  local name=$1
  shift
  if ! "$@" >>"$deps/logs/$name.log" 2>&1; then
    echo "win-deps: $name failed; the end of $deps/logs/$name.log:" >&2
    tail -30 "$deps/logs/$name.log" >&2
    exit 1
  fi
}

# Debian's source packages: a deb-src line for the suites the system installs from
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

# unpacks Debian's source package $1 into src/ once; prints its folder
fetch() {
  local pkg=$1 dir
  dir=$(find "$deps/src" -maxdepth 1 -mindepth 1 -type d -name "$2" | head -1)
  if [ -z "$dir" ]; then
    ensure_deb_src
    (cd "$deps/src" && apt-get source -qq "$pkg" >>"$deps/logs/$pkg.log" 2>&1) || true
    dir=$(find "$deps/src" -maxdepth 1 -mindepth 1 -type d -name "$2" | head -1)
    if [ -z "$dir" ]; then
      # A security update's .dsc may list an upstream signature (.asc) that the
      # archive no longer serves: unpack without the files that are missing.
      local dsc
      dsc=$(find "$deps/src" -maxdepth 1 -name "${pkg}_*.dsc" | sort | tail -1)
      [ -n "$dsc" ] || { echo "win-deps: no source package $pkg" >&2; exit 1; }
      (
        cd "$deps/src"
        local name
        cp "$dsc" unpack.dsc
        for name in $(awk '/^ [0-9a-f]+ [0-9]+ /{print $3}' "$dsc" | sort -u); do
          [ -e "$name" ] || sed -i "/ $name\$/d" unpack.dsc
        done
        dpkg-source --no-check -x unpack.dsc >>"$deps/logs/$pkg.log" 2>&1
        rm -f unpack.dsc
      )
      dir=$(find "$deps/src" -maxdepth 1 -mindepth 1 -type d -name "$2" | head -1)
    fi
  fi
  echo "$dir"
}

autotools_lib() { # name pkg dirglob configure-args...
  local name=$1 pkg=$2 glob=$3
  shift 3
  have "$name" && return
  local t0=$SECONDS src
  src=$(fetch "$pkg" "$glob")
  rm -rf "$deps/build-$name"
  mkdir -p "$deps/build-$name"
  (
    cd "$deps/build-$name"
    logged "$name" "$src/configure" --host=$triple --prefix="$prefix" --disable-shared --enable-static "$@"
    logged "$name" make -j"$jobs"
    logged "$name" make install
  )
  touch "$(stamp "$name")"
  say "$name built in $((SECONDS - t0)) s"
}

cmake_lib() { # name srcdir cmake-args...
  local name=$1 src=$2
  shift 2
  have "$name" && return
  local t0=$SECONDS
  rm -rf "$deps/build-$name"
  logged "$name" cmake -S "$src" -B "$deps/build-$name" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DCMAKE_PREFIX_PATH="$prefix" -DBUILD_SHARED_LIBS=OFF "$@"
  logged "$name" cmake --build "$deps/build-$name" -j"$jobs"
  logged "$name" cmake --install "$deps/build-$name"
  touch "$(stamp "$name")"
  say "$name built in $((SECONDS - t0)) s"
}

autotools_lib lame lame 'lame-3*' --disable-frontend --disable-decoder --disable-gtktest
autotools_lib mpg123 mpg123 'mpg123-1*' --with-audio=dummy --disable-components --enable-libmpg123 \
  --disable-modules
cmake_lib sndfile "$(fetch libsndfile 'libsndfile-1*')" -DENABLE_EXTERNAL_LIBS=OFF -DENABLE_MPEG=ON \
  -DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_TESTING=OFF -DENABLE_CPACK=OFF \
  -DINSTALL_MANPAGES=OFF -DENABLE_PACKAGE_CONFIG=ON
cmake_lib gtest /usr/src/googletest -DINSTALL_GTEST=ON -DBUILD_GMOCK=OFF

# Qt: one build folder; Core first, Gui and Widgets added to the same configuration later
qt_common=(
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
  -DFEATURE_tabletevent=OFF -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_xml=OFF
  -DFEATURE_dbus=OFF -DFEATURE_concurrent=OFF -DFEATURE_printsupport=OFF -DFEATURE_testlib=OFF
  -DFEATURE_opengl=OFF -DFEATURE_vulkan=OFF -DFEATURE_direct2d=OFF -DFEATURE_system_zlib=OFF
  -DFEATURE_sql_sqlite=OFF -DFEATURE_pkg_config=OFF -DINPUT_openssl=no
)
qt() { # name feature-args...
  local name=$1
  shift
  have "$name" && return
  local t0=$SECONDS src
  src=$(fetch qt6-base 'qt6-base-*')
  [ -n "$src" ] || src=$(fetch qt6-base 'qtbase-*')
  # Qt 6.4's Windows platform plugin asks about software OpenGL even where OpenGL is
  # configured out; without OpenGL there is none.
  sed -i 's/^#if QT_CONFIG(dynamicgl)$/#if QT_CONFIG(dynamicgl) \&\& QT_CONFIG(opengl)/' \
    "$src/src/plugins/platforms/windows/qwindowswindow.cpp"
  # and takes the DirectWrite font database, which Qt Gui builds only with Direct2D
  sed -i 's/^#if QT_CONFIG(directwrite3)$/#if QT_CONFIG(directwrite3) \&\& QT_CONFIG(direct2d)/' \
    "$src/src/plugins/platforms/windows/qwindowsintegration.cpp"
  logged "$name" cmake -S "$src" -B "$deps/build-qt" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF \
    "${qt_common[@]}" "$@"
  logged "$name" cmake --build "$deps/build-qt" -j"$jobs"
  logged "$name" cmake --install "$deps/build-qt"
  touch "$(stamp "$name")"
  say "$name built in $((SECONDS - t0)) s"
}
qt qtcore -DFEATURE_gui=OFF -DFEATURE_widgets=OFF
if [ "$gui" = 1 ]; then
  qt qtgui -DFEATURE_gui=ON -DFEATURE_widgets=ON
fi
# the licences of what a Windows build links, for its package
licences() { # name file...
  local name=$1 f
  shift
  mkdir -p "$prefix/share/licenses/$name"
  for f in "$@"; do
    [ -f "$f" ] && cp "$f" "$prefix/share/licenses/$name/"
  done
  return 0
}
src=$deps/src
licences LAME "$src"/lame-3*/COPYING
licences mpg123 "$src"/mpg123-1*/COPYING
licences libsndfile "$src"/libsndfile-1*/COPYING
licences Qt "$src"/qt6-base-*/LICENSES/LGPL-3.0-only.txt "$src"/qt6-base-*/LICENSES/GPL-3.0-only.txt \
  "$src"/qt6-base-*/LICENSES/Qt-GPL-exception-1.0.txt
# what the static Qt bundles (the Windows build links only some of them)
for third in zlib pcre2 double-conversion harfbuzz-ng freetype libpng libjpeg md4c pixman \
  tinycbor blake2 sha3 rfc6234 easing icc; do
  for dir in "$src"/qt6-base-*/src/3rdparty/$third/; do
    [ -d "$dir" ] && licences "Qt-3rdparty/$third" "$dir"LICEN[CS]E* "$dir"COPYING* "$dir"*-LICENSE.txt
  done
done
licences mingw-w64 /usr/share/doc/mingw-w64-common/copyright /usr/share/doc/gcc-mingw-w64-base/copyright
say "prefix ready: $prefix"
