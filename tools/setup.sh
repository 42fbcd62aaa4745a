#!/usr/bin/env bash
# Prepares a Debian 12 machine and this checkout for the cross build and the tests under Wine.
# Idempotent: every step checks whether it is already done and skips itself.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
DEPS="$ROOT/.deps"              # project-local prefix, ignored by git
PREFIX="$DEPS/prefix"
SRC="$DEPS/src"
SYSINC="$DEPS/sysinclude"       # -isystem symlink folder for header-only dependencies
TOOLCHAIN="$ROOT/cmake/mingw-w64-x86_64.cmake"
MINGW_CXX=x86_64-w64-mingw32-g++-posix

log() { printf '[setup] %s\n' "$*"; }

PACKAGES=(
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64
  wine wine64 libwine libgnutls30 libgl1-mesa-dri fonts-wine fonts-dejavu-core
  cmake ninja-build make dpkg-dev ca-certificates
  xvfb x11-utils imagemagick
  libboost1.81-dev libfmt-dev nlohmann-json3-dev librange-v3-dev googletest
  osslsigncode openssl python3 python3-fonttools curl procps file nginx-light
)

need_root() { if [ "$(id -u)" -ne 0 ]; then echo sudo; fi; }

# Source entries beside the machine's own bookworm entries: the same mirrors (or local cache), suites, components
# and keys as its binary ones. Only without any such entry does it fall back to Debian's main mirror.
BOOKWORM_SUITE='^bookworm(-updates|-security|-backports)?$'

deb822_sources() {
  # Each stanza of a .sources file whose types hold "deb", again as "deb-src" with its bookworm suites.
  awk -v want="$BOOKWORM_SUITE" '
    function flush() {
      if (types ~ /(^| )deb( |$)/ && enabled != "no" && uris != "" && suites != "") {
        n = split(suites, list, " "); kept = ""
        for (i = 1; i <= n; i++) if (list[i] ~ want) kept = kept (kept == "" ? "" : " ") list[i]
        if (kept != "") {
          printf "%sTypes: deb-src\nURIs: %s\nSuites: %s\nComponents: %s\n", (printed++ ? "\n" : ""), uris, kept, components
          if (signed != "") printf "Signed-By: %s\n", signed
        }
      }
      types = uris = suites = components = signed = enabled = ""
    }
    /^[ \t]*$/ { flush(); next }
    /^#/ { next }
    { key = $1; sub(/:$/, "", key); $1 = ""; sub(/^ +/, "")
      if (key == "Types") types = $0; else if (key == "URIs") uris = $0; else if (key == "Suites") suites = $0
      else if (key == "Components") components = $0; else if (key == "Signed-By") signed = $0
      else if (key == "Enabled") enabled = $0 }
    END { flush() }' "$@"
}

one_line_sources() {
  # "deb [options] uri suite components" lines with a bookworm suite, as "deb-src" lines.
  awk -v want="$BOOKWORM_SUITE" '
    $1 == "deb" { i = 2; if ($2 ~ /^\[/) while ($i !~ /\]$/) i++; if ($2 ~ /^\[/) i++
                  if ($(i + 1) ~ want) { $1 = "deb-src"; print } }' "$@"
}

enable_source_packages() {
  local sources822 lines
  sources822=$(deb822_sources /etc/apt/sources.list.d/*.sources 2>/dev/null || true)
  lines=$(one_line_sources /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null || true)
  if [ -z "$sources822$lines" ]; then
    log "no bookworm entry among apt's sources: source packages from deb.debian.org"
    sources822=$'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: bookworm bookworm-updates\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg'
  fi
  log "enabling source packages beside apt's bookworm entries"
  [ -z "$sources822" ] || printf '%s\n' "$sources822" | $(need_root) tee /etc/apt/sources.list.d/bookworm-src.sources >/dev/null
  [ -z "$lines" ] || printf '%s\n' "$lines" | $(need_root) tee /etc/apt/sources.list.d/bookworm-src.list >/dev/null
}

install_packages() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -rqs '^deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    enable_source_packages
    APT_UPDATED=0
  fi
  if [ ${#missing[@]} -gt 0 ] || [ "${APT_UPDATED:-1}" = 0 ]; then
    log "installing: ${missing[*]:-(sources only)}"
    $(need_root) apt-get update -qq
    [ ${#missing[@]} -eq 0 ] || DEBIAN_FRONTEND=noninteractive $(need_root) apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  fi
}

make_sysinclude() {
  mkdir -p "$SYSINC"
  for d in boost fmt nlohmann range meta concepts std; do
    [ -e "$SYSINC/$d" ] || ln -s "/usr/include/$d" "$SYSINC/$d"
  done
}

fetch_sources() {
  mkdir -p "$SRC"
  if [ ! -f "$SRC/.fetched" ]; then
    log "fetching glog and boost sources"
    (cd "$SRC" && apt-get source --download-only google-glog boost1.81 >/dev/null 2>&1)
    touch "$SRC/.fetched"
  fi
  if [ ! -f "$SRC/.fetched-fmt" ]; then
    log "fetching fmt sources"
    (cd "$SRC" && apt-get source --download-only fmtlib >/dev/null 2>&1)
    touch "$SRC/.fetched-fmt"
  fi
}

# fmt's compiled part (src/format.cc), built into a DLL by cmake/Dependencies.cmake; the headers stay Debian's.
extract_fmt() {
  [ -f "$SRC/fmt/src/format.cc" ] && return 0
  log "extracting the fmt sources"
  local tar; tar=$(ls "$SRC"/fmtlib_*.orig.tar.* | head -n1)
  rm -rf "$SRC/fmt"; mkdir -p "$SRC/fmt"
  tar -xf "$tar" -C "$SRC/fmt" --strip-components=1 --wildcards '*/src/*' '*/include/fmt/core.h'
  # The DLL is compiled with the installed headers: the sources must be of their release.
  local ours theirs
  ours=$(grep -m1 '#define FMT_VERSION' "$SRC/fmt/include/fmt/core.h")
  theirs=$(grep -m1 '#define FMT_VERSION' /usr/include/fmt/core.h)
  if [ "$ours" != "$theirs" ]; then
    rm -rf "$SRC/fmt"
    log "the fmt sources ($ours) do not match libfmt-dev ($theirs)"; exit 1
  fi
}

build_glog() {
  [ -f "$PREFIX/bin/libglog.dll" ] && return 0
  log "building glog 0.6.0 as a DLL"
  local tar; tar=$(ls "$SRC"/google-glog_0.6.0.orig.tar.gz)
  rm -rf "$SRC/glog"; mkdir -p "$SRC/glog"
  tar -xzf "$tar" -C "$SRC/glog" --strip-components=1
  cmake -S "$SRC/glog" -B "$SRC/glog/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$PREFIX" -DBUILD_SHARED_LIBS=ON \
    -DWITH_GFLAGS=OFF -DWITH_GTEST=OFF -DWITH_UNWIND=OFF -DWITH_SYMBOLIZE=OFF -DBUILD_TESTING=OFF >/dev/null
  cmake --build "$SRC/glog/build" >/dev/null
  cmake --install "$SRC/glog/build" >/dev/null
}

build_boost_filesystem() {
  [ -f "$PREFIX/lib/libboost_filesystem.a" ] && return 0
  log "building Boost.Filesystem"
  local tar; tar=$(ls "$SRC"/boost1.81_*.orig.tar.* | head -n1)
  rm -rf "$SRC/boostfs"; mkdir -p "$SRC/boostfs"
  tar -xf "$tar" -C "$SRC/boostfs" --wildcards '*/libs/filesystem/src/*'
  local srcdir; srcdir=$(ls -d "$SRC"/boostfs/*/libs/filesystem/src)
  mkdir -p "$SRC/boostfs/obj" "$PREFIX/lib"
  local objs=()
  for f in "$srcdir"/*.cpp; do
    local o="$SRC/boostfs/obj/$(basename "$f" .cpp).o"
    $MINGW_CXX -std=c++20 -O2 -isystem "$SYSINC" -I"$srcdir" -DBOOST_FILESYSTEM_NO_DEPRECATED \
      -DBOOST_FILESYSTEM_STATIC_LINK=1 -DBOOST_ALL_NO_LIB -D_WIN32_WINNT=0x0A00 -c "$f" -o "$o" &
    objs+=("$o")
  done
  wait
  x86_64-w64-mingw32-ar rcs "$PREFIX/lib/libboost_filesystem.a" "${objs[@]}"
}

build_gtest() {
  [ -f "$PREFIX/lib/libgmock.a" ] && return 0
  log "building GoogleTest and GoogleMock"
  cmake -S /usr/src/googletest -B "$SRC/gtest-build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$PREFIX" -Dgtest_disable_pthreads=OFF >/dev/null
  cmake --build "$SRC/gtest-build" >/dev/null
  cmake --install "$SRC/gtest-build" >/dev/null
}

make_test_font() {
  local font="$DEPS/fonts/verdana.ttf"
  [ -f "$font" ] && return 0
  log "making the test font for Verdana"
  mkdir -p "$DEPS/fonts"
  /usr/bin/python3 - "$font" <<'PY'
import sys
from fontTools.ttLib import TTFont
f = TTFont('/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf')
for rec in f['name'].names:
    if rec.nameID in (1, 4, 16):
        rec.string = 'Verdana'
    elif rec.nameID == 6:
        rec.string = 'Verdana'
f.save(sys.argv[1])
PY
}

install_packages
make_sysinclude
fetch_sources
extract_fmt
build_glog
build_boost_filesystem
build_gtest
make_test_font
log "done"
