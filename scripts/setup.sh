#!/usr/bin/env bash
# Installs every Debian package the two builds and the tests need, and fetches
# minizip's sources from Debian's zlib source package. Idempotent: a second run
# only checks and returns.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
third="$here/build/third_party"

packages=(
  cmake g++ make pkg-config zlib1g-dev libminizip-dev libgtest-dev libgmock-dev
  g++-mingw-w64-i686 gcc-mingw-w64-i686 mingw-w64-i686-dev libz-mingw-w64-dev
  wine wine32:i386 xvfb x11-utils imagemagick fonts-wqy-microhei
  python3 unzip dpkg-dev clang libclang-rt-14-dev locales
)

need=()
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  need_update=1
fi
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || need+=("$p")
done

src_list=/etc/apt/sources.list.d/debian-src.sources
if [ ! -f "$src_list" ] && [ -f /etc/apt/sources.list.d/debian.sources ]; then
  # A deb-src twin of the main suite's entry; minizip comes only as source.
  sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
    | awk 'BEGIN{RS="";ORS="\n\n"} /debian-security/ {next} {print}' > "$src_list"
  need_update=1
fi

if [ ${#need[@]} -gt 0 ] || [ "${need_update:-0}" = 1 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
fi
if [ ${#need[@]} -gt 0 ]; then
  apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

# minizip (zlib's contrib/minizip) for the MinGW build, from the source package.
if [ ! -f "$third/minizip/unzip.c" ]; then
  mkdir -p "$third/src"
  if ! ls "$third"/src/zlib_*.orig.tar.* >/dev/null 2>&1; then
    (cd "$third/src" && apt-get source --download-only -qq -t bookworm zlib/bookworm >/dev/null 2>&1 \
      || apt-get source --download-only -qq zlib >/dev/null)
  fi
  tarball=$(ls "$third"/src/zlib_*.orig.tar.* | head -n 1)
  rm -rf "$third/minizip.tmp" && mkdir -p "$third/minizip.tmp"
  tar -xf "$tarball" -C "$third/minizip.tmp" --wildcards '*/contrib/minizip/*'
  mv "$third"/minizip.tmp/*/contrib/minizip "$third/minizip.new"
  rm -rf "$third/minizip.tmp" "$third/minizip"
  mv "$third/minizip.new" "$third/minizip"
fi

# Wine maps Windows file names to Unix ones in the locale's character set: an
# ungenerated zh_CN.UTF-8 leaves it ASCII and Chinese file names fail.
if ! locale -a 2>/dev/null | grep -qix 'zh_CN.utf8'; then
  localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
fi
