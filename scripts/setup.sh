#!/usr/bin/env bash
# Installs everything the build, the tests, the fuzzers and the benchmarks need, from
# Debian packages. Safe to run again: it only installs what is missing.
#
# yyjson 0.12 is the one dependency Debian 12 does not carry. When the release has no
# libyyjson-dev of 0.12 or newer, the two yyjson packages are fetched from the unstable
# suite of the mirror this machine already uses, without touching the system's apt
# configuration, and installed with dpkg (their only dependency is libc6).
set -euo pipefail

need_root() {
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then exec sudo -E bash "$0" "$@"; fi
    echo "setup.sh: run as root (or install sudo)" >&2
    exit 1
  fi
}
need_root "$@"

export DEBIAN_FRONTEND=noninteractive

PACKAGES=(
  g++ cmake ninja-build pkg-config make git ca-certificates
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  clang libclang-rt-dev llvm valgrind python3 dpkg-dev file locales
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
updated=0
if [ "${#missing[@]}" -gt 0 ]; then
  echo "setup.sh: installing ${missing[*]}"
  apt-get update -qq
  updated=1
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# A Latin-1 locale, so that the tests can show that a host's locale changes no answer of
# the library. Built with localedef alone; the system's locale configuration is untouched.
if ! locale -a 2>/dev/null | grep -qix 'en_US.iso88591'; then
  localedef -i en_US -f ISO-8859-1 en_US.ISO-8859-1 2>/dev/null ||
    echo "setup.sh: no Latin-1 locale could be built; the locale tests will be skipped"
fi

# Installed yyjson version (empty when none), read from the package database.
yyjson_installed() {
  dpkg-query -W -f='${Status} ${Version}' libyyjson-dev 2>/dev/null |
    awk '$3=="installed"{print $4}'
}

version_ok() { dpkg --compare-versions "${1:-0}" ge 0.12.0; }

if version_ok "$(yyjson_installed)"; then
  exit 0
fi

# The release's own package, when it is new enough.
[ "$updated" -eq 1 ] || { apt-get update -qq; updated=1; }
candidate=$(apt-cache policy libyyjson-dev 2>/dev/null | awk '/Candidate:/{print $2}')
if [ -n "$candidate" ] && [ "$candidate" != "(none)" ] && version_ok "$candidate"; then
  apt-get install -y -qq --no-install-recommends libyyjson-dev >/dev/null
  exit 0
fi

# Otherwise: the unstable suite of the mirror already in use, in a private apt state.
# Signatures are checked as always; the Release file's expiry date is not, because a
# mirror that is a dated snapshot serves an unstable Release file long past it.
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
mirror=$(apt-get indextargets --format '$(REPO_URI) $(CODENAME)' |
  awk -v c="$codename" '$2==c{print $1; exit}')
if [ -z "$mirror" ]; then
  echo "setup.sh: cannot tell which Debian mirror this machine uses" >&2
  exit 1
fi
keyring=/usr/share/keyrings/debian-archive-keyring.gpg
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/lists/partial" "$work/cache/archives/partial" "$work/debs"
echo "deb [signed-by=$keyring] $mirror unstable main" >"$work/unstable.list"
opts=(-o "Dir::Etc::sourcelist=$work/unstable.list" -o "Dir::Etc::sourceparts=-"
  -o "Dir::State::Lists=$work/lists" -o "Dir::Cache=$work/cache"
  -o "APT::Get::List-Cleanup=0" -o "APT::Sandbox::User=root"
  -o "Acquire::Check-Valid-Until=false")
apt-get "${opts[@]}" update -qq
(cd "$work/debs" && apt-get "${opts[@]}" download libyyjson0 libyyjson-dev)
dpkg -i "$work"/debs/*.deb >/dev/null
if ! version_ok "$(yyjson_installed)"; then
  echo "setup.sh: yyjson 0.12 or newer could not be installed" >&2
  exit 1
fi
echo "setup.sh: installed yyjson $(yyjson_installed)"
