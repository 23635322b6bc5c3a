#!/usr/bin/env bash
# Proves that the installed package is usable on its own:
#   1. configures and builds the release preset (into build/release, or the directory given);
#   2. installs it into a temporary prefix and checks the files, the SONAME links and the tool;
#   3. builds and runs hosts against the installed files only: a C and a C++ consumer through
#      find_package(), another C consumer through pkg-config, and checks that the version
#      file turns a request for 2.0 away;
#   4. builds the Debian packages with CPack (kept in <build>/packages), checks their
#      Depends and contents, and builds the find_package() consumer against their contents.
# Needs what scripts/setup.sh installs. Usage: scripts/check-install.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
name=ostrevo-velunar-auth-session
work=$(mktemp -d "${TMPDIR:-/tmp}/vlauth-install.XXXXXX")
trap 'rm -rf "$work"' EXIT

say() { printf 'check-install: %s\n' "$*"; }
fail() { printf 'check-install: FAILED: %s\n' "$*" >&2; exit 1; }
# run_from DIR PROGRAM [ARG...]: runs PROGRAM after checking that the library it loads
# lies under DIR.
run_from() {
  local dir=$1 program=$2 loaded
  shift 2
  loaded=$(ldd "$program" | awk -v lib="lib$name.so.1" '$1 == lib {print $3}')
  case "$loaded" in
    "$dir"/*) ;;
    *) fail "$(basename "$program") loads '${loaded:-nothing}', not the library under $dir" ;;
  esac
  "$program" "$@"
}
# Configures, builds and runs the find_package() consumers against one installed tree.
cmake_consumers() {
  local prefix=$1 out=$2
  cmake -S tests/consumers -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF >"$out.log" 2>&1 ||
    { cat "$out.log" >&2; fail "find_package() consumer does not configure against $prefix"; }
  cmake --build "$out" >>"$out.log" 2>&1 ||
    { cat "$out.log" >&2; fail "find_package() consumer does not build against $prefix"; }
  run_from "$prefix" "$out/c_consumer"
  run_from "$prefix" "$out/cpp_consumer"
}

say "building the release preset in $build"
cmake --preset release -B "$build" >"$work/build.log" 2>&1 &&
  cmake --build "$build" -j "$(nproc)" >>"$work/build.log" 2>&1 ||
  { cat "$work/build.log" >&2; fail "the release build"; }

prefix=$work/prefix
say "installing into a temporary prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
lib=$(find "$prefix" -name "lib$name.so.1.0.0")
[ -n "$lib" ] || fail "lib$name.so.1.0.0 is not installed"
libdir=$(dirname "$lib")
[ "$(readlink "$libdir/lib$name.so.1")" = "lib$name.so.1.0.0" ] || fail "no .so.1 link"
[ "$(readlink "$libdir/lib$name.so")" = "lib$name.so.1" ] || fail "no .so link"
readelf -d "$lib" | grep -q "SONAME.*\[lib$name.so.1\]" || fail "wrong SONAME"
for f in include/vlauth.h include/vlauth.hpp bin/vlauth; do
  [ -f "$prefix/$f" ] || fail "$f is not installed"
done
[ -f "$libdir/pkgconfig/$name.pc" ] || fail "the pkg-config file is not installed"
[ -f "$libdir/cmake/$name/$name-config-version.cmake" ] || fail "no CMake version file"
run_from "$prefix" "$prefix/bin/vlauth" selftest

say "consumers through find_package()"
cmake_consumers "$prefix" "$work/cmake-consumer"
if cmake -S tests/consumers -B "$work/wrong-major" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF -DVLAUTH_WANTED_VERSION=2.0 >/dev/null 2>&1; then
  fail "find_package() accepted the 1.x package for a request of 2.0"
fi

say "consumer through pkg-config"
export PKG_CONFIG_PATH="$libdir/pkgconfig${PKG_CONFIG_PATH:+:$PKG_CONFIG_PATH}"
[ "$(pkg-config --modversion "$name")" = 1.0.0 ] || fail "pkg-config reports another version"
# Word splitting of the flags is intended.
# shellcheck disable=SC2046
cc -std=c99 -Wall -Wextra -Werror tests/consumers/consumer.c $(pkg-config --cflags "$name") \
  $(pkg-config --libs "$name") -Wl,-rpath,"$(pkg-config --variable=libdir "$name")" \
  -o "$work/pc_consumer"
run_from "$prefix" "$work/pc_consumer"

say "Debian packages"
packages=$build/packages
rm -rf "$packages"
cpack --config "$build/CPackConfig.cmake" -B "$packages" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; fail "cpack"; }
deb() { find "$packages" -maxdepth 1 -name "$1_*.deb" | head -n 1; }
# expect <package> <Depends entry as an extended regular expression>...
expect() {
  local file depends entry
  file=$(deb "$1") && [ -n "$file" ] || fail "no package $1"
  depends=$(dpkg-deb -f "$file" Depends)
  shift
  for entry in "$@"; do
    grep -Eq "(^|, )$entry(,|$)" <<<"$depends" || fail "$(basename "$file"): Depends '$depends' lacks $entry"
  done
  printf '  %s\n    Depends: %s\n' "$(basename "$file")" "$depends"
}
runtime=lib$name$(sed -n 's/^#define VLAUTH_ABI_VERSION \([0-9]*\)$/\1/p' include/vlauth.h)
expect "$runtime" 'libyyjson0 \(>= 0\.12\.0\)' 'libc6 \(>= [0-9.]+\)'
expect "lib$name-dev" "$runtime \(= 1\.0\.0-1\)" 'libyyjson-dev \(>= 0\.12\.0\)'
expect "$name-tools" "$runtime \(= 1\.0\.0-1\)" 'libc6 \(>= [0-9.]+\)' 'libstdc\+\+6 \(>= [0-9.]+\)'
dpkg-deb -I "$(deb "$runtime")" shlibs | grep -q "^lib$name 1 $runtime " ||
  fail "$runtime has no shlibs entry"

root=$work/root
for file in "$packages"/*.deb; do dpkg-deb -x "$file" "$root"; done
for f in "lib$name.so.1" "lib$name.so" vlauth.h vlauth.hpp "$name.pc" "$name-config.cmake" vlauth; do
  [ -n "$(find "$root/usr" -name "$f")" ] || fail "$f is in no package"
done
run_from "$root/usr" "$root/usr/bin/vlauth" version
say "consumers through find_package() against the packages' contents"
cmake_consumers "$root/usr" "$work/deb-consumer"

say "all checks passed; packages in $packages"
