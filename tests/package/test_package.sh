#!/usr/bin/env bash
# Builds the package into a temporary directory, unpacks it into a temporary
# root and runs the tools from there. Usage: test_package.sh BUILD_DIR VERSION
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
if ! command -v dpkg-deb >/dev/null || ! command -v dpkg-shlibdeps >/dev/null; then
    echo "SKIPPED: dpkg-deb or dpkg-shlibdeps is missing (install dpkg-dev)"
    exit 77
fi
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

BUILD_DIR="$1" PACKAGE_DIR="$tmp/out" bash "$ROOT/scripts/package" >"$tmp/package.log" 2>&1 ||
    { cat "$tmp/package.log"; fail "scripts/package"; }
deb="$tmp/out/zor-console_${2}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || fail "no $deb; made: $(ls "$tmp/out")"

dpkg-deb -x "$deb" "$tmp/root"
for f in usr/bin/zor-console usr/bin/zor-ctl usr/bin/zor-sim \
    usr/share/applications/zor-console.desktop \
    usr/share/icons/hicolor/scalable/apps/zor-console.svg; do
    [ -e "$tmp/root/$f" ] || fail "the package lacks /$f"
done
depends="$(dpkg-deb -f "$deb" Depends)"
for lib in libqt6core6 libqt6widgets6 libqt6serialport6 libqt6network6; do
    grep -q "$lib" <<<"$depends" || fail "Depends lacks $lib: $depends"
done

[ "$("$tmp/root/usr/bin/zor-ctl" --version)" = "zor-ctl $2" ] || fail "zor-ctl --version"
"$tmp/root/usr/bin/zor-sim" --help | grep -q -- "--pty" || fail "zor-sim --help"
echo "ok: $(basename "$deb")"
