#!/usr/bin/env bash
# Builds the packages into dist/:
#   corvell_VERSION_ARCH.deb        Debian package of the console program (release build)
#   Corvell-VERSION-win64.zip       portable Windows program
#   Corvell-VERSION-setup.exe       Windows installer (NSIS), per-user
# Usage: scripts/package.sh [deb|windows|all]   (default: all)
# The Windows files come from the `windows` build (built here when missing), the same
# binaries that the tests run.
case "${1:-}" in -h | --help) sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0"; exit 0 ;; esac
set -euo pipefail
cd "$(dirname "$0")/.."
what="${1:-all}"
root="$PWD"
dist="$root/dist"
version=$(sed -n 's/^project(Corvell VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "package: no version in CMakeLists.txt"; exit 1; }
jobs=$(nproc 2>/dev/null || echo 2)
mkdir -p "$dist"

build_deb() {
  local arch stage work
  arch=$(dpkg --print-architecture)
  work=$(mktemp -d)
  trap 'rm -rf "$work"' RETURN
  # dpkg-shlibdeps takes libraries under debian/<package> as the package's own.
  stage="$work/debian/corvell"

  # The distribution's hardening flags (stack protector, fortify, relro, now).
  CFLAGS="$(dpkg-buildflags --get CFLAGS)" CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS)" \
    CPPFLAGS="$(dpkg-buildflags --get CPPFLAGS)" LDFLAGS="$(dpkg-buildflags --get LDFLAGS)" \
    cmake --preset linux-package --fresh >/dev/null
  cmake --build --preset linux-package -j "$jobs" >/dev/null
  DESTDIR="$stage" cmake --install build/linux-package >/dev/null

  strip --strip-unneeded --remove-section=.comment --remove-section=.note "$stage/usr/bin/crvl" \
    "$stage/usr/lib/corvell/libCRVLRES.so"
  chmod 0644 "$stage/usr/lib/corvell/libCRVLRES.so"
  # The SFTP plug-in module (built where libssh2 is installed).
  local sftp_module="$stage/usr/lib/corvell/plugins/sftp.wfx64" shlib_args=(-e debian/corvell/usr/bin/crvl)
  if [ -f "$sftp_module" ]; then
    strip --strip-unneeded --remove-section=.comment --remove-section=.note "$sftp_module"
    chmod 0644 "$sftp_module"
    shlib_args+=(-e debian/corvell/usr/lib/corvell/plugins/sftp.wfx64)
  fi
  install -D -m 0644 packaging/linux/crvl.1 "$stage/usr/share/man/man1/crvl.1"
  gzip -9n "$stage/usr/share/man/man1/crvl.1"
  install -D -m 0644 packaging/linux/crvl.bash-completion "$stage/usr/share/bash-completion/completions/crvl"
  install -D -m 0644 packaging/linux/crvl.zsh-completion "$stage/usr/share/zsh/vendor-completions/_crvl"
  install -D -m 0644 packaging/linux/crvl.fish "$stage/usr/share/fish/vendor_completions.d/crvl.fish"
  install -D -m 0644 packaging/linux/crvl-daemon.service "$stage/usr/lib/systemd/user/crvl-daemon.service"
  install -D -m 0644 packaging/linux/copyright "$stage/usr/share/doc/corvell/copyright"
  install -D -m 0644 packaging/linux/changelog "$stage/usr/share/doc/corvell/changelog.Debian"
  gzip -9n "$stage/usr/share/doc/corvell/changelog.Debian"
  install -D -m 0644 packaging/linux/lintian-overrides "$stage/usr/share/lintian/overrides/corvell"

  # Depends from the libraries the binaries use.
  mkdir -p "$work/debian"
  printf 'Source: corvell\n\nPackage: corvell\nArchitecture: any\n' >"$work/debian/control"
  local depends
  depends=$(cd "$work" && dpkg-shlibdeps -O "${shlib_args[@]}" 2>/dev/null | sed -n 's/^shlibs:Depends=//p')
  [ -n "$depends" ] || { echo "package: dpkg-shlibdeps found no dependencies"; return 1; }

  mkdir -p "$stage/DEBIAN"
  (cd "$stage" && find usr -type f -print0 | sort -z | xargs -0 md5sum) >"$stage/DEBIAN/md5sums"
  chmod 0644 "$stage/DEBIAN/md5sums"
  local size
  size=$(du -sk --exclude=DEBIAN "$stage" | cut -f1)
  # The Debian revision: the package is not built from a Debian source package.
  sed -e "s/@VERSION@/$version-1/" -e "s/@ARCH@/$arch/" -e "s/@SIZE@/$size/" -e "s/@DEPENDS@/$depends/" \
    packaging/linux/control.in >"$stage/DEBIAN/control"
  find "$stage" -type d -exec chmod 0755 {} +

  local deb="$dist/corvell_${version}-1_${arch}.deb"
  dpkg-deb --root-owner-group -Zxz --build "$stage" "$deb" >/dev/null
  echo "package: $deb"
}

build_windows() {
  local build="$root/build/windows" work stage
  [ -f "$build/CMakeCache.txt" ] || cmake --preset windows >/dev/null
  cmake --build --preset windows -j "$jobs" >/dev/null
  work=$(mktemp -d)
  trap 'rm -rf "$work"' RETURN
  stage="$work/Corvell"
  mkdir -p "$stage"
  local f
  for f in CRVL.exe crvlc.exe CRVLRES.dll CRVL_US.HTM CRVL_DE.HTM; do
    [ -f "$build/$f" ] || { echo "package: $build/$f is missing"; return 1; }
    cp "$build/$f" "$stage/"
  done
  # The SFTP plug-in module, in plugins\ beside the programs.
  [ -f "$build/plugins/sftp.wfx64" ] || { echo "package: $build/plugins/sftp.wfx64 is missing"; return 1; }
  mkdir -p "$stage/plugins"
  cp "$build/plugins/sftp.wfx64" "$stage/plugins/"
  x86_64-w64-mingw32-strip --strip-unneeded "$stage/CRVL.exe" "$stage/crvlc.exe" "$stage/CRVLRES.dll" \
    "$stage/plugins/sftp.wfx64"
  # Windows line ends for Notepad.
  sed 's/$/\r/' packaging/windows/README.txt >"$stage/README.txt"

  local zip="$dist/Corvell-${version}-win64.zip"
  rm -f "$zip"
  (cd "$work" && TZ=UTC zip -q -X -r "$zip" Corvell)
  echo "package: $zip"

  local setup="$dist/Corvell-${version}-setup.exe"
  makensis -V2 -DVERSION="$version" -DSTAGE="$stage" -DOUTFILE="$setup" packaging/windows/corvell.nsi
  echo "package: $setup"
}

case "$what" in
  deb) build_deb ;;
  windows) build_windows ;;
  all) build_deb; build_windows ;;
  *) echo "usage: scripts/package.sh [deb|windows|all]"; exit 2 ;;
esac
