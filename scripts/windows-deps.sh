#!/usr/bin/env bash
# Cross-builds the libraries that the Windows SFTP module links statically: libssh2 and
# its crypto library OpenSSL (libcrypto only), each from Debian's source package of a
# pinned version whose archive files must match the pinned SHA-256 sums. The result goes
# to a folder named by both versions (build/deps/ by default, or $CRVL_DEPS_DIR) and is
# built only once: a later call finds it complete and does nothing.
#
# Usage: scripts/windows-deps.sh        prints the folder (include/, lib/) on success
case "${1:-}" in -h | --help) sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0"; exit 0 ;; esac
set -euo pipefail
cd "$(dirname "$0")/.."

libssh2_version=1.10.0-3+deb12u1   # the version of Debian's libssh2-1-dev (Linux build)
openssl_version=3.0.20-1~deb12u2
sums=(
  "2d64e90f3ded394b91d3a2e774ca203a4179f69aebee03003e5a6fa621e41d51  libssh2_1.10.0.orig.tar.gz"
  "e4da32facae7fea48f1ba73ba1a17214ee88863143517bf7e4d58a6149deb792  libssh2_1.10.0-3+deb12u1.debian.tar.xz"
  "c80a01dfc70ece4dc21168932c37739042d404d46ccc81a5986dd75314ecda6f  openssl_3.0.20.orig.tar.gz"
  "7279efe85c359500c95aa88347e3395dd303d7566e2bb818d80d96e0c3bb9629  openssl_3.0.20-1~deb12u2.debian.tar.xz"
)

deps=$(realpath -m "${CRVL_DEPS_DIR:-build/deps}")
prefix="$deps/mingw64-libssh2-$libssh2_version-openssl-$openssl_version"
if [ -f "$prefix/complete" ]; then echo "$prefix"; exit 0; fi
# One build at a time per folder (two configures of the Windows preset, two checkouts
# sharing the folder): the second waits for the first and then finds its result.
mkdir -p "$deps"
exec 9> "$deps/.lock"
flock 9
if [ -f "$prefix/complete" ]; then echo "$prefix"; exit 0; fi

say() { echo "windows-deps: $*" >&2; }
host=x86_64-w64-mingw32
launcher=$(command -v ccache || true)
jobs=${CRVL_DEPS_JOBS:-$(nproc 2>/dev/null || echo 2)}
src="$deps/src"
mkdir -p "$src"
rm -rf "$src/build"
mkdir -p "$src/build"

# --- the archives: fetched by apt (deb-src entries from scripts/setup.sh), then checked ---
(
  cd "$src"
  for f in "${sums[@]}"; do
    name=${f#*  }
    [ -f "$name" ] && echo "$f" | sha256sum --quiet -c - 2>/dev/null && continue
    rm -f "$name"
    # apt checks each file against the signed index; the security archive serves no .dsc,
    # so a failure is judged by the files below, not by apt's status.
    apt-get source --download-only "libssh2=$libssh2_version" "openssl=$openssl_version" >&2 || true
    break
  done
  printf '%s\n' "${sums[@]}" | sha256sum --quiet -c - >&2 ||
    { say "the source archives are missing or do not match their pinned SHA-256 sums"; exit 1; }
)

# Unpacks an orig archive and Debian's changes to it (debian/patches/series, in order).
unpack() {  # ORIG DEBIAN FOLDER
  local into="$src/build/$3"
  mkdir -p "$into"
  tar -xzf "$src/$1" -C "$into" --strip-components=1
  tar -xJf "$src/$2" -C "$into"
  if [ -f "$into/debian/patches/series" ]; then
    local p
    while read -r p _; do
      [ -z "$p" ] || [ "${p#\#}" != "$p" ] && continue
      patch -s -p1 -d "$into" < "$into/debian/patches/$p" >&2 || { say "patch $p does not apply"; return 1; }
    done < "$into/debian/patches/series"
  fi
}

started=$SECONDS
if [ ! -f "$prefix/openssl-complete" ]; then
rm -rf "$prefix"
say "building OpenSSL $openssl_version (libcrypto) for $host"
unpack openssl_3.0.20.orig.tar.gz "openssl_$openssl_version.debian.tar.xz" openssl
(
  cd "$src/build/openssl"
  # Only what libssh2 calls: no engines, modules, tests, applications or ciphers that it
  # never asks for, and no configuration file read by itself. The folders compiled in are
  # fixed ones (nothing is read from them), so the objects do not depend on this folder.
  ./Configure mingw64 no-shared no-tests no-engine no-dso no-module no-legacy no-comp no-async \
    no-ui-console no-autoload-config no-ssl3 no-dtls no-srp no-psk no-ct no-ocsp no-cms no-ts \
    no-idea no-camellia no-seed no-rc2 no-rc4 no-rc5 no-md4 no-mdc2 no-whirlpool no-bf no-cast \
    no-sm2 no-sm3 no-sm4 no-aria no-siphash no-gost no-scrypt \
    --prefix="/Program Files/Corvell/openssl" --openssldir="/Program Files/Corvell/openssl" --libdir=lib \
    CC="${launcher:+$launcher }$host-gcc-posix" AR="$host-ar" RANLIB="$host-ranlib" RC="$host-windres" \
    > configure.log 2>&1 || { cat configure.log >&2; exit 1; }
  make -j "$jobs" build_generated > make.log 2>&1 && make -j "$jobs" libcrypto.a >> make.log 2>&1 ||
    { tail -30 make.log >&2; exit 1; }
  mkdir -p "$prefix/lib" "$prefix/include"
  cp libcrypto.a "$prefix/lib/"
  cp -r include/openssl "$prefix/include/"
)
touch "$prefix/openssl-complete"
say "OpenSSL took $((SECONDS - started)) s"
fi

started=$SECONDS
say "building libssh2 $libssh2_version for $host"
unpack libssh2_1.10.0.orig.tar.gz "libssh2_$libssh2_version.debian.tar.xz" libssh2
cmake -S "$src/build/libssh2" -B "$src/build/libssh2-build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_C_COMPILER_LAUNCHER="$launcher" -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DCMAKE_FIND_ROOT_PATH="$prefix;/usr/$host" -DOPENSSL_ROOT_DIR="$prefix" -DOPENSSL_USE_STATIC_LIBS=ON \
  -DOPENSSL_INCLUDE_DIR="$prefix/include" -DOPENSSL_CRYPTO_LIBRARY="$prefix/lib/libcrypto.a" -DLIB_EAY="$prefix/lib/libcrypto.a" \
  -DSSL_EAY="$prefix/lib/libcrypto.a" -DCMAKE_C_STANDARD_LIBRARIES="-lws2_32 -lcrypt32 -lbcrypt -luser32 -ladvapi32" \
  -DCRYPTO_BACKEND=OpenSSL -DBUILD_SHARED_LIBS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_TESTING=OFF \
  -DENABLE_ZLIB_COMPRESSION=OFF > "$src/build/libssh2.log" 2>&1 &&
  cmake --build "$src/build/libssh2-build" -j "$jobs" >> "$src/build/libssh2.log" 2>&1 &&
  cmake --install "$src/build/libssh2-build" >> "$src/build/libssh2.log" 2>&1 ||
  { tail -30 "$src/build/libssh2.log" >&2; exit 1; }
say "libssh2 took $((SECONDS - started)) s"

rm -rf "$src/build"
touch "$prefix/complete"
echo "$prefix"
