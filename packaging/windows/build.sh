#!/usr/bin/env bash
# Builds the Windows x64 installer of Mirelo on Debian 12.
#
#   packaging/windows/build.sh                Qt and DCMTK for Windows (once per machine), the program,
#                                             the installer
#   packaging/windows/build.sh --qt-only      only the Qt for Windows in the cache
#   packaging/windows/build.sh --dcmtk-only   only the DCMTK (with ICU) for Windows in the cache
#
# There is no prebuilt Qt for Windows to download here, so a minimal Qt (Core, Gui, Widgets,
# PrintSupport, Svg) is cross-built from Debian's own source package of the same version as the host
# tools in qt6-base-dev. It goes into a cache outside the source tree and is reused by every later run.
# DCMTK (the dose reports and the register's storage service) is cross-built the same way, with ICU
# for its character-set conversion; SQLite is compiled into the program from Debian's source.
#
# Environment:
#   MIRELO_WIN_CACHE  the Qt and DCMTK cache             (default /var/cache/mirelo-win)
#   MIRELO_WIN_BUILD  the program's build folder          (default <source>/build-win; the user's
#                     guide is converted by a Linux build beside it, <that>-host)
#   MIRELO_WIN_OUT    where the installer is written     (default <source>/out)
#   MIRELO_WIN_JOBS   parallel compile jobs               (default 2)
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
cache=${MIRELO_WIN_CACHE:-/var/cache/mirelo-win}
build=${MIRELO_WIN_BUILD:-$source_dir/build-win}
out=${MIRELO_WIN_OUT:-$source_dir/out}
jobs=${MIRELO_WIN_JOBS:-2}
toolchain=$here/mingw-w64.cmake
triple=x86_64-w64-mingw32

qt_only=0
dcmtk_only=0
case "${1:-}" in
  --qt-only) qt_only=1 ;;
  --dcmtk-only) dcmtk_only=1 ;;
  "") ;;
  *) echo "usage: $0 [--qt-only|--dcmtk-only]" >&2; exit 2 ;;
esac

sudo=""
if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi
started=$SECONDS
stage() { printf '\n== %s (%d s so far)\n' "$*" $((SECONDS - started)); }

# --- Packages -------------------------------------------------------------------------------------
# The cross compilers, the installer builder, the host Qt tools of the version that is built for
# Windows, and what the smoke test needs (Wine, Xvfb, ImageMagick for the screenshot). For the dose
# reports and the register: the zlib for Windows that DCMTK uses, Debian's ICU tools (the host tools of
# the ICU cross-build), Tcl (SQLite's amalgamation is generated with it), the Linux DCMTK's version
# (the Windows one is built from the same source) and its storescu for the smoke test.
stage "Packages"
packages=(
  g++-mingw-w64-x86-64-posix nsis librsvg2-bin wine64 xvfb x11-utils imagemagick
  cmake ninja-build ccache dpkg-dev
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-translations-l10n qt6-l10n-tools qt6-tools-dev
  libcli11-dev nlohmann-json3-dev libtomlplusplus-dev
  libgl-dev
  libz-mingw-w64-dev icu-devtools tcl libdcmtk-dev dcmtk libsqlite3-dev
)
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# --- Qt for Windows, from Debian's source packages ------------------------------------------------
# The Windows Qt must match the host tools (moc, uic, rcc) exactly, so both come from the same
# Debian source version.
qt_base_version=$(dpkg-query -W -f='${source:Version}' qt6-base-dev)
qt_svg_version=$(dpkg-query -W -f='${source:Version}' qt6-svg-dev)
qt_upstream=${qt_base_version%%+*}
qt_prefix=$cache/qt-$qt_upstream-mingw64
qt_stamp=$qt_prefix/.mirelo-built
# Changing this list (or the versions) rebuilds Qt.
qt_features=(
  -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_testlib=OFF -DFEATURE_dbus=OFF
  -DFEATURE_vulkan=OFF
  # Debian's +dfsg source lacks src/3rdparty/wintab, which tablet events need on Windows.
  -DFEATURE_tabletevent=OFF
  # OpenGL stays on: the 6.4 Windows platform plugin does not compile without it (it is loaded
  # dynamically at run time, so no OpenGL package is needed to build).
)
qt_key="qtbase=$qt_base_version qtsvg=$qt_svg_version ${qt_features[*]} $(md5sum <"$toolchain" | cut -d' ' -f1)"

upstream_version() {  # Debian version → the upstream part without its repack suffix (6.4.2+dfsg-10 → 6.4.2)
  local v=${1#*:}
  v=${v%-*}
  echo "${v%%+*}"
}

fetch_source() {  # package version → unpacked folder on stdout
  local package=$1 version=$2 dir=$cache/src
  mkdir -p "$dir"
  local unpacked upstream
  upstream=$(upstream_version "$version")
  unpacked=$(find "$dir" -maxdepth 1 -type d -name "${package}-${upstream}*" | head -n1)
  if [[ -z $unpacked ]]; then
    if ! apt-get source --print-uris "$package=$version" >/dev/null 2>&1; then
      # apt knows no sources yet: add the deb-src twin of the configured Debian suite.
      local list=/etc/apt/sources.list.d/mirelo-deb-src.sources codename
      codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
      printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: %s\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
        "$codename" | $sudo tee "$list" >/dev/null
      $sudo apt-get update -qq
    fi
    (cd "$dir" && apt-get source -qq "$package=$version" >&2)
    unpacked=$(find "$dir" -maxdepth 1 -type d -name "${package}-${upstream}*" | head -n1)
  fi
  echo "$unpacked"
}

build_qt() {
  stage "Qt $qt_upstream for Windows → $qt_prefix"
  $sudo mkdir -p "$cache"
  $sudo chown "$(id -u):$(id -g)" "$cache"
  rm -rf "$qt_prefix" "$cache/build"
  local qtbase qtsvg
  qtbase=$(fetch_source qt6-base "$qt_base_version")
  qtsvg=$(fetch_source qt6-svg "$qt_svg_version")

  stage "qtbase: configure"
  cmake -S "$qtbase" -B "$cache/build/qtbase" -G Ninja -Wno-dev \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DCMAKE_INSTALL_PREFIX="$qt_prefix" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF "${qt_features[@]}" >"$cache/qtbase-configure.log"
  stage "qtbase: build (about 1,100 steps)"
  nice -n 19 cmake --build "$cache/build/qtbase" --parallel "$jobs"
  cmake --install "$cache/build/qtbase" >/dev/null

  # Svg is optional for the program; a failure here leaves a Qt without it rather than none.
  stage "qtsvg: configure and build"
  if [[ -z $qtsvg ]]; then
    echo "WARNING: the qt6-svg source could not be fetched (apt-get's message above); Qt without Svg" >&2
  elif "$qt_prefix/bin/qt-cmake" -S "$qtsvg" -B "$cache/build/qtsvg" -G Ninja -Wno-dev \
       -DCMAKE_BUILD_TYPE=Release -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
       >"$cache/qtsvg-configure.log" 2>&1 &&
     nice -n 19 cmake --build "$cache/build/qtsvg" --parallel "$jobs" &&
     cmake --install "$cache/build/qtsvg" >/dev/null; then
    echo "qtsvg installed"
  else
    echo "WARNING: qtsvg did not build (see above and $cache/qtsvg-configure.log); continuing without it" >&2
  fi

  rm -rf "$cache/build"
  echo "$qt_key" >"$qt_stamp"
}

if ((dcmtk_only)); then
  :
elif [[ -f $qt_stamp && $(cat "$qt_stamp") == "$qt_key" ]]; then
  stage "Qt for Windows: cached in $qt_prefix"
else
  build_qt
fi
if ((qt_only)); then
  stage "Done"
  exit 0
fi

# --- DCMTK for Windows, with ICU for its character-set conversion -----------------------------------
# DCMTK 3.6.7 converts character sets with ICU, GNU libiconv or the C library's iconv. MinGW has no
# iconv and Debian no iconv for Windows, so ICU is cross-built too, from Debian's source of the
# version whose tools (icu-devtools) serve as the host tools of its cross-build. Only ICU's common
# library and the converters' data (cnvalias.icu and the *.cnv tables, 5 of its 31 MB) are built.
# DCMTK: Debian's source of the Linux DCMTK's version, the modules the program uses and what they
# need, as shared libraries, with the options of Debian's own build that change what is read (STL,
# C++17, private tags), the built-in dictionary, and wide-character file names for Windows paths.
dcmtk_version=$(dpkg-query -W -f='${source:Version}' libdcmtk-dev)
icu_version=$(dpkg-query -W -f='${source:Version}' icu-devtools)
dcmtk_prefix=$cache/dcmtk-$(upstream_version "$dcmtk_version")-mingw64
dcmtk_stamp=$dcmtk_prefix/.mirelo-built
icu_prefix=$dcmtk_prefix/icu
dcmtk_work=$cache/dcmtk-build
icu_configure=(
  --enable-shared --disable-static --disable-tests --disable-samples --disable-extras
  --disable-icuio --disable-layoutex --disable-tools
)
dcmtk_options=(
  "-DDCMTK_MODULES=ofstd;oflog;dcmdata;dcmimgle;dcmimage;dcmtls;dcmnet;dcmsr"
  -DBUILD_SHARED_LIBS=ON -DBUILD_APPS=OFF -DDCMTK_ENABLE_MANPAGES=OFF -DDCMTK_WITH_DOXYGEN=OFF
  -DDCMTK_WITH_ICU=ON -DDCMTK_ENABLE_CHARSET_CONVERSION=ICU -DDCMTK_WITH_ICONV=OFF -DDCMTK_WITH_STDLIBC_ICONV=OFF
  -DDCMTK_WITH_ZLIB=ON -DDCMTK_WITH_OPENSSL=OFF -DDCMTK_WITH_PNG=OFF -DDCMTK_WITH_TIFF=OFF
  -DDCMTK_WITH_XML=OFF -DDCMTK_WITH_SNDFILE=OFF -DDCMTK_WITH_OPENJPEG=OFF -DDCMTK_WITH_WRAP=OFF
  -DDCMTK_ENABLE_STL=ON -DCMAKE_CXX_STANDARD=17 -DDCMTK_ENABLE_PRIVATE_TAGS=ON
  -DDCMTK_DEFAULT_DICT=builtin -DDCMTK_WIDE_CHAR_FILE_IO_FUNCTIONS=ON
  # Debian's patches install the dictionaries there (its rules name it); only to satisfy them.
  -DCMAKE_INSTALL_DATADIC=share/dcmtk
)
# Changing the versions, the toolchain or the options above rebuilds DCMTK and ICU.
dcmtk_key="dcmtk=$dcmtk_version icu=$icu_version ${icu_configure[*]} ${dcmtk_options[*]} $(md5sum <"$toolchain" | cut -d' ' -f1)"

build_icu() {
  local src=$1 host=$dcmtk_work/icu-host build=$dcmtk_work/icu
  stage "ICU $(upstream_version "$icu_version") for Windows → $icu_prefix"
  # The cross-build reads its host tools from a native ICU build: Debian's tools stand in for it.
  mkdir -p "$host/bin" "$host/lib" "$host/config" "$build"
  for tool in $(dpkg -L icu-devtools | grep -E '/s?bin/[^/]+$'); do ln -sf "$tool" "$host/bin/"; done
  {
    echo "CROSS_ICU_VERSION=$(upstream_version "$icu_version")"
    echo 'TOOLEXEEXT='
    echo 'TOOLBINDIR=$(cross_buildroot)/bin'
    echo 'TOOLLIBDIR=$(cross_buildroot)/lib'
    echo 'INVOKE='
    echo 'PKGDATA_INVOKE='
  } >"$host/config/icucross.mk"
  echo 'CURR_FULL_DIR?=$(shell pwd | sed '"'"'s/ /\\ /g'"'"')' >"$host/config/icucross.inc"
  # The converters' data only: the rest of the prebuilt data file is removed from a copy.
  local dat=$src/source/data/in/icudt*l.dat items=$dcmtk_work/icu-remove.txt
  dat=$(echo $dat)
  "$host/bin/icupkg" -l "$dat" | grep -vE '^cnvalias\.icu$|\.cnv$' >"$items"
  "$host/bin/icupkg" -r "$items" "$dat" "$dcmtk_work/$(basename "$dat")"
  (cd "$build" &&
    CC=$triple-gcc-posix CXX=$triple-g++-posix CFLAGS=-O2 CXXFLAGS=-O2 \
    "$src/source/configure" --host=$triple --build="$(gcc -dumpmachine)" --prefix="$icu_prefix" \
      --with-cross-build="$host" "${icu_configure[@]}" >"$dcmtk_work/icu-configure.log")
  local d
  mkdir -p "$build/lib" "$build/bin"
  for d in stubdata common data; do
    nice -n 19 make -C "$build/$d" -j"$jobs" ICUDATA_SOURCE_ARCHIVE="$dcmtk_work/$(basename "$dat")"
  done
  for d in common data; do
    make -C "$build/$d" install ICUDATA_SOURCE_ARCHIVE="$dcmtk_work/$(basename "$dat")" >/dev/null
  done
  # The data library's import library: the stub's names the same DLL and symbol.
  cp "$build/stubdata/libicudt.dll.a" "$icu_prefix/lib/"
}

build_dcmtk() {
  stage "DCMTK $(upstream_version "$dcmtk_version") for Windows → $dcmtk_prefix"
  $sudo mkdir -p "$cache"
  $sudo chown "$(id -u):$(id -g)" "$cache"
  rm -rf "$dcmtk_prefix" "$dcmtk_work"
  mkdir -p "$dcmtk_work"
  local dcmtk icu
  dcmtk=$(fetch_source dcmtk "$dcmtk_version")
  icu=$(fetch_source icu "$icu_version")
  build_icu "$icu"

  stage "DCMTK: configure"
  # DCMTK runs its configure checks under Wine: its own Wine set-up wants winepath as a program,
  # and the checks are linked statically so that they need no MinGW DLL in Wine's path.
  printf '#!/bin/sh\nexec /usr/lib/wine/wine64 winepath "$@"\n' >"$dcmtk_work/winepath"
  chmod +x "$dcmtk_work/winepath"
  WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
  cmake -S "$dcmtk" -B "$dcmtk_work/dcmtk" -G Ninja -Wno-dev \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$dcmtk_prefix" -DCMAKE_FIND_ROOT_PATH="$icu_prefix" \
    -DCMAKE_EXE_LINKER_FLAGS=-static \
    -DWINE_WINE_PROGRAM=/usr/lib/wine/wine64 -DWINE_WINEPATH_PROGRAM="$dcmtk_work/winepath" \
    -DCPP_RUNTIME="$(dirname "$($triple-g++-posix -print-libgcc-file-name)")/libstdc++-6.dll" \
    -DICU_ROOT_DIR="$icu_prefix" "${dcmtk_options[@]}" >"$dcmtk_work/dcmtk-configure.log" 2>&1 ||
    { tail -n 40 "$dcmtk_work/dcmtk-configure.log"; exit 1; }
  grep -q '^#define DCMTK_ENABLE_CHARSET_CONVERSION DCMTK_CHARSET_CONVERSION_ICU' \
    "$dcmtk_work/dcmtk/config/include/dcmtk/config/osconfig.h" ||
    { echo "DCMTK did not take ICU for its character-set conversion (see $dcmtk_work/dcmtk-configure.log)" >&2; exit 1; }
  stage "DCMTK: build"
  nice -n 19 cmake --build "$dcmtk_work/dcmtk" --parallel "$jobs"
  cmake --install "$dcmtk_work/dcmtk" >/dev/null
  # Wine's prefix for the checks and the build folders are not needed any more.
  rm -rf "$dcmtk_work"
  echo "$dcmtk_key" >"$dcmtk_stamp"
}

if [[ -f $dcmtk_stamp && $(cat "$dcmtk_stamp") == "$dcmtk_key" ]]; then
  stage "DCMTK for Windows: cached in $dcmtk_prefix"
else
  build_dcmtk
fi
if ((dcmtk_only)); then
  stage "Done"
  exit 0
fi

# --- SQLite's amalgamation, from Debian's source ---------------------------------------------------
# The register's database. Debian's source is SQLite's full tree (with Debian's patches); its one-file
# amalgamation is generated once per machine (with Tcl) and compiled into the program by its build.
sqlite_version=$(dpkg-query -W -f='${source:Version}' libsqlite3-dev)
sqlite_dir=$cache/sqlite-$(upstream_version "$sqlite_version")-amalgamation
if [[ -f $sqlite_dir/.mirelo-built && $(cat "$sqlite_dir/.mirelo-built") == "sqlite3=$sqlite_version" ]]; then
  stage "SQLite amalgamation: cached in $sqlite_dir"
else
  stage "SQLite $(upstream_version "$sqlite_version"): amalgamation → $sqlite_dir"
  sqlite_src=$(fetch_source sqlite3 "$sqlite_version")
  sqlite_work=$(mktemp -d)
  (cd "$sqlite_work" && "$sqlite_src/configure" --disable-tcl --disable-readline >configure.log &&
    nice -n 19 make sqlite3.c >make.log) || { tail -n 20 "$sqlite_work"/*.log; exit 1; }
  rm -rf "$sqlite_dir"
  mkdir -p "$sqlite_dir"
  cp "$sqlite_work"/sqlite3.c "$sqlite_work"/sqlite3.h "$sqlite_work"/sqlite3ext.h "$sqlite_dir/"
  rm -rf "$sqlite_work"
  echo "sqlite3=$sqlite_version" >"$sqlite_dir/.mirelo-built"
fi

# --- The program ------------------------------------------------------------------------------------
stage "Mirelo: configure ($build)"
mkdir -p "$build"
export CCACHE_BASEDIR=$source_dir
# Tests, benchmarks and fuzzers are Linux-side tools; only the programs are built for Windows.
# -O2 as in Debian's packages: GCC 12 at -O3 reports a false -Wrestrict in std::string's operator+.
"$qt_prefix/bin/qt-cmake" -S "$source_dir" -B "$build" -G Ninja -Wno-dev \
  -DQT_CHAINLOAD_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DCMAKE_CXX_COMPILER_LAUNCHER=ccache \
  -DCMAKE_PROJECT_Mirelo_INCLUDE="$here/project-hook.cmake" \
  -DCLI11_DIR="$here/header-only" -Dnlohmann_json_DIR="$here/header-only" \
  -Dtomlplusplus_DIR="$here/header-only" -DDCMTK_DIR="$dcmtk_prefix/cmake" \
  -DMIRELO_SQLITE_AMALGAMATION="$sqlite_dir" \
  -DMIRELO_BUILD_TESTS=OFF -DMIRELO_FUZZ=OFF >"$build/configure.log" ||
  { cat "$build/configure.log"; exit 1; }
version=$(cat "$build/mirelo-version.txt")

targets=(mirelo)
# (The list is taken whole first: grep -q leaving early would fail the pipe under pipefail.)
build_targets=$(ninja -C "$build" -t targets all)
if grep -q '^mirelo-calc: phony' <<<"$build_targets"; then
  targets+=(mirelo-calc)
else
  echo "NOTE: this source has no mirelo-calc target yet; the installer carries mirelo.exe only" >&2
fi
stage "Mirelo $version: build ${targets[*]}"
nice -n 19 cmake --build "$build" --parallel "$jobs" --target "${targets[@]}"

# --- Deploy: the programs, what they load, the tables -------------------------------------------------
stage "Deploy"
deploy=$build/deploy
rm -rf "$deploy"
mkdir -p "$deploy"
for t in "${targets[@]}"; do
  exe=$(find "$build" -path "$deploy" -prune -o -name "$t.exe" -type f -print | head -n1)
  [[ -n $exe ]] || { echo "built $t but found no $t.exe under $build" >&2; exit 1; }
  cp "$exe" "$deploy/"
done

# Plugins: the Windows platform, and SVG images when Qt has them. No style plugin: the program
# uses Fusion, which is built into Qt Widgets.
plugins=(platforms/qwindows.dll imageformats/qsvg.dll iconengines/qsvgicon.dll)
for p in "${plugins[@]}"; do
  if [[ -f $qt_prefix/plugins/$p ]]; then
    mkdir -p "$deploy/$(dirname "$p")"
    cp "$qt_prefix/plugins/$p" "$deploy/$p"
  fi
done
[[ -f $deploy/platforms/qwindows.dll ]] || { echo "no qwindows.dll in $qt_prefix/plugins" >&2; exit 1; }

# Every DLL these import, found in Qt or the MinGW runtime, until nothing new turns up; the
# Windows system DLLs are left to Windows.
dll_dirs=("$qt_prefix/bin" "$dcmtk_prefix/bin" "$icu_prefix/bin" "$(dirname "$($triple-g++-posix -print-libgcc-file-name)")" "/usr/$triple/lib")
objdump=$triple-objdump
declare -A seen=()
queue=()
while IFS= read -r -d '' f; do queue+=("$f"); done < <(find "$deploy" \( -name '*.exe' -o -name '*.dll' \) -print0)
while ((${#queue[@]})); do
  f=${queue[0]}
  queue=("${queue[@]:1}")
  while read -r dll; do
    key=${dll,,}
    [[ -n ${seen[$key]:-} ]] && continue
    seen[$key]=1
    for d in "${dll_dirs[@]}"; do
      if [[ -f $d/$dll ]]; then
        cp "$d/$dll" "$deploy/$dll"
        queue+=("$deploy/$dll")
        break
      fi
    done
  done < <("$objdump" -p "$f" | sed -n 's/^\s*DLL Name: //p')
done

# Qt's own Japanese texts (the message-box buttons): the .qm files are the same on every platform.
mkdir -p "$deploy/translations"
cp /usr/share/qt6/translations/qtbase_ja.qm "$deploy/translations/"
# Paths relative to the program's folder, wherever it is installed.
printf '[Paths]\nPrefix = .\nPlugins = .\nTranslations = translations\n' >"$deploy/qt.conf"

# The tables beside the program: its own folder is one of the places it looks.
cp "$source_dir"/data/*.dat "$deploy/"

# The icon of the Start menu entry and of the installer.
icon_tmp=$(mktemp -d)
for s in 16 32 48 256; do
  rsvg-convert -w $s -h $s "$source_dir/packaging/mirelo.svg" -o "$icon_tmp/$s.png"
done
convert "$icon_tmp"/{16,32,48,256}.png "$deploy/mirelo.ico"
rm -rf "$icon_tmp"

# Help opens doc\guide.html beside the program, About names doc\copyright. The guide's converter is
# a Qt program run at build time, so it comes from a Linux build of the same source.
host_build=$build-host
if [[ ! -f $host_build/CMakeCache.txt ]]; then
  mkdir -p "$host_build"
  cmake -S "$source_dir" -B "$host_build" -G Ninja -Wno-dev -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DCMAKE_CXX_COMPILER_LAUNCHER=ccache \
    -DMIRELO_BUILD_TESTS=OFF >"$host_build/configure.log"
fi
nice -n 19 cmake --build "$host_build" --parallel "$jobs" --target guide >/dev/null
mkdir -p "$deploy/doc"
cp "$host_build"/docs/guide.html "$host_build"/docs/data.md "$host_build"/docs/*.png "$deploy/doc/"
cp "$source_dir/packaging/copyright" "$deploy/doc/copyright"

# The licences of what is shipped besides our own code: Qt (LGPL-3), the GCC and MinGW-w64 runtime.
mkdir -p "$deploy/licenses"
cp /usr/share/doc/libqt6core6/copyright "$deploy/licenses/Qt-copyright.txt"
cp /usr/share/common-licenses/LGPL-3 "$deploy/licenses/LGPL-3.txt"
cp /usr/share/common-licenses/GPL-3 "$deploy/licenses/GPL-3.txt"
cp /usr/share/doc/gcc-mingw-w64-base/copyright "$deploy/licenses/GCC-runtime-copyright.txt"
cp /usr/share/doc/mingw-w64-common/copyright "$deploy/licenses/MinGW-w64-copyright.txt"
# DCMTK (BSD), ICU (Unicode licence), SQLite (public domain), zlib and toml++ (MIT): the copyright
# files of Debian's packages built from the same sources.
cp /usr/share/doc/libdcmtk17/copyright "$deploy/licenses/DCMTK-copyright.txt"
cp /usr/share/doc/icu-devtools/copyright "$deploy/licenses/ICU-copyright.txt"
cp /usr/share/doc/libsqlite3-dev/copyright "$deploy/licenses/SQLite-copyright.txt"
cp /usr/share/doc/libz-mingw-w64/copyright "$deploy/licenses/zlib-copyright.txt"
cp /usr/share/doc/libtomlplusplus-dev/copyright "$deploy/licenses/tomlplusplus-copyright.txt"

echo "Deployed $(find "$deploy" -type f | wc -l) files, $(du -sh "$deploy" | cut -f1):"
(cd "$deploy" && find . -name '*.exe' -o -name '*.dll' | sort | sed 's|^\./|  |')

# --- Installer ------------------------------------------------------------------------------------
stage "Installer"
mkdir -p "$out"
installer=$out/Mirelo-$version-win64-setup.exe
uninstall_list=$build/uninstall-files.nsh
{
  (cd "$deploy" && find . -type f | sort) | sed 's|^\./||; s|/|\\|g; s|.*|  Delete "$INSTDIR\\&"|'
  (cd "$deploy" && find . -mindepth 1 -type d | sort -r) | sed 's|^\./||; s|/|\\|g; s|.*|  RMDir "$INSTDIR\\&"|'
} >"$uninstall_list"
makensis -V2 -NOCD \
  -DVERSION="$version" -DSTAGE="$deploy" -DOUTFILE="$installer" -DUNINSTALL_LIST="$uninstall_list" \
  -DSIZE_KB="$(du -sk "$deploy" | cut -f1)" "$here/mirelo.nsi"

stage "Done"
ls -l "$installer"
