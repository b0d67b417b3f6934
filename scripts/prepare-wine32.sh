#!/usr/bin/env bash
# Prepares the emulated 32-bit Wine that runs the win32 build's programs: a private i386
# Wine root and qemu-i386, unpacked from Debian packages into the build tree. Nothing is
# installed on the machine and its apt sources stay as they are: apt runs with lists,
# cache and package status of its own. A second run finds the stamp and does nothing.
#   PINEWICK_BUILD_ROOT   build tree (default: build/ in the checkout)
#   PINEWICK_WINE32_ROOT  where the pieces go (default: $PINEWICK_BUILD_ROOT/wine32-root)
set -euo pipefail

# Bump when what this script lays out changes: the next run then starts afresh.
layout=2

source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_root="${PINEWICK_BUILD_ROOT:-$source_dir/build}"
root="${PINEWICK_WINE32_ROOT:-$build_root/wine32-root}"
mkdir -p "$root"
root=$(cd "$root" && pwd)

# The i386 loader must be the same Wine as the machine's 64-bit one: they share one server.
wine_version=$(dpkg-query -W -f='${Version}' wine64)
suite=$(. /etc/os-release && echo "$VERSION_CODENAME")
stamp="layout=$layout wine=$wine_version suite=$suite root=$root"

exec 9>"$root/.lock"
flock 9
if [ "$(cat "$root/.prepared" 2>/dev/null)" = "$stamp" ]; then
    exit 0
fi
if [ -e "$root/.prepared" ]; then
    # Prepared for another Wine or layout: nothing of it is worth keeping.
    find "$root" -mindepth 1 -maxdepth 1 ! -name .lock -exec rm -rf {} +
fi
echo "Preparing the 32-bit Wine in $root"

# apt with a configuration of its own under $1: sources, lists, downloads and an empty
# package status, so the closure it resolves is the whole one and the machine's is untouched.
private_apt() {
    local dir=$1 arch=$2
    shift 2
    mkdir -p "$dir/lists/partial" "$dir/archives/partial" "$dir/cache" "$dir/state" \
        "$dir/empty"
    touch "$dir/status"
    apt-get -q \
        -o Dir::Etc::SourceList="$dir/sources.list" \
        -o Dir::Etc::SourceParts="$dir/empty" \
        -o Dir::Etc::Preferences="$dir/empty/none" \
        -o Dir::Etc::PreferencesParts="$dir/empty" \
        -o Dir::State="$dir/state" \
        -o Dir::State::Lists="$dir/lists" \
        -o Dir::State::status="$dir/status" \
        -o Dir::Cache="$dir/cache" \
        -o Dir::Cache::Archives="$dir/archives" \
        -o APT::Architecture="$arch" \
        -o APT::Architectures::="$arch" \
        -o APT::Sandbox::User=root \
        -o APT::Install-Recommends=false \
        "$@"
}

mirror=http://deb.debian.org/debian
i386_apt="$root/apt/i386"
qemu_apt="$root/apt/qemu"
mkdir -p "$i386_apt" "$qemu_apt"
cat >"$i386_apt/sources.list" <<EOF
deb [arch=i386] $mirror $suite main
deb [arch=i386] $mirror $suite-updates main
deb [arch=i386] http://deb.debian.org/debian-security $suite-security main
EOF
# bookworm's qemu 7.2 takes about a minute to start Wine; trixie's qemu 10 is a static
# program that starts it in a fraction of a second and runs here.
echo "deb [arch=amd64] $mirror trixie main" >"$qemu_apt/sources.list"

private_apt "$i386_apt" i386 update >/dev/null
private_apt "$qemu_apt" amd64 update >/dev/null
private_apt "$i386_apt" i386 install --download-only -y \
    "wine32=$wine_version" "libwine=$wine_version" >/dev/null
private_apt "$qemu_apt" amd64 install --download-only -y qemu-user >/dev/null

rm -rf "$root/i386.new" "$root/bin.new" "$root/syswow64.new"
mkdir -p "$root/i386.new" "$root/bin.new"
find "$i386_apt/archives" -maxdepth 1 -name '*.deb' -print0 |
    xargs -0 -n 8 -P "$(nproc)" sh -c 'for deb; do dpkg-deb -x "$deb" "$0"; done' \
        "$root/i386.new"
qemu_debs=("$qemu_apt"/archives/qemu-user_*_amd64.deb)
dpkg-deb --fsys-tarfile "${qemu_debs[0]}" | tar -x -C "$root/bin.new" --strip-components=3 \
    ./usr/bin/qemu-i386

i386="$root/i386.new"
wine_lib="$i386/usr/lib/wine"
dll_dir="$i386/usr/lib/i386-linux-gnu/wine/i386-windows"

# Wine's own zlib1.dll is made by libwine's installation script, which dpkg -x does not
# run: mingw's DLL with Wine's builtin marker written at offset 64.
zlib="$i386/usr/i686-w64-mingw32/lib/zlib1.dll"
{
    head -c 64 "$zlib"
    printf 'Wine builtin DLL'
    head -c 16 /dev/zero
    tail -c +97 "$zlib"
} >"$dll_dir/zlib1.dll"

# No binfmt here: Wine's 32-bit ntdll starts a new 32-bit process through the preloader,
# so the preloader starts the loader under qemu. 64-bit processes (Wine's services) start
# natively from the machine's loader.
cat >"$wine_lib/wine-preloader" <<EOF
#!/bin/sh
WINELOADERNOEXEC=1 exec "$root/bin/qemu-i386" -L "$root/i386" "\$@"
EOF
chmod +x "$wine_lib/wine-preloader"
ln -sfn /usr/lib/wine/wine64 "$wine_lib/wine64"

# The i386 ld.so reads no ld.so.conf; without a cache of its own it misses libraries in
# /lib/i386-linux-gnu (zlib, so FreeType fails to load).
printf '%s\n' "$root/i386/lib/i386-linux-gnu" "$root/i386/usr/lib/i386-linux-gnu" \
    >"$root/ld.so.conf"

# What the prefix's syswow64 links to. Wine's 32-bit setup rewrites syswow64 in place, so the
# links must not reach the loader's own DLLs.
cp -a "$dll_dir" "$root/syswow64.new"

rm -rf "${root:?}/i386" "${root:?}/bin" "${root:?}/syswow64"
mv "$root/i386.new" "$root/i386"
mv "$root/bin.new" "$root/bin"
mv "$root/syswow64.new" "$root/syswow64"
ldconfig -X -f "$root/ld.so.conf" -C "$root/i386/etc/ld.so.cache"
echo "$stamp" >"$root/.prepared"
