#!/usr/bin/env bash
# Installs every Debian package that the two builds, their tests, the demo and the
# benchmarks need. Idempotent: does nothing when everything is already installed.
case "${1:-}" in -h | --help) sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0"; exit 0 ;; esac
set -euo pipefail

packages=(
  g++ cmake ninja-build make pkg-config
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine64
  xvfb xdotool imagemagick
  rsync time bc patch perl
  libssh2-1-dev openssh-server
  systemd
  nsis lintian zip unzip bash-completion zsh fish groff-base dpkg-dev
)

# Debian's source packages: the Windows build cross-builds libssh2 and OpenSSL from them
# (scripts/windows-deps.sh).
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
sources=/etc/apt/sources.list.d/corvell-src.sources
if [ ! -f "$sources" ]; then
  echo "setup: adding the deb-src entries $sources"
  # The same archives as the binary packages' entries.
  sed -n '/^Types: deb$/,/^$/p' /etc/apt/sources.list.d/debian.sources | sed 's/^Types: deb$/Types: deb-src/' |
    $SUDO tee "$sources" >/dev/null
  $SUDO apt-get update -q
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
