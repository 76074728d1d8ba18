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
    usr/share/icons/hicolor/scalable/apps/zor-console.svg \
    usr/share/doc/zor-console/copyright usr/share/doc/zor-console/changelog.gz \
    usr/share/doc/zor-console/operator-guide.md usr/share/doc/zor-console/service-guide.md; do
    [ -e "$tmp/root/$f" ] || fail "the package lacks /$f"
done
depends="$(dpkg-deb -f "$deb" Depends)"
for lib in libqt6core6 libqt6widgets6 libqt6serialport6 libqt6network6; do
    grep -q "$lib" <<<"$depends" || fail "Depends lacks $lib: $depends"
done

# One version: the package's, each program's and the changelog's newest entry.
[ "$(dpkg-deb -f "$deb" Version)" = "$2" ] || fail "package version $(dpkg-deb -f "$deb" Version)"
for p in zor-console zor-ctl zor-sim; do
    v="$(QT_QPA_PLATFORM=offscreen "$tmp/root/usr/bin/$p" --version)"
    [ "$v" = "$p $2" ] || fail "$p --version says '$v'"
done
zcat "$tmp/root/usr/share/doc/zor-console/changelog.gz" | head -1 | grep -q "^zor-console ($2) " ||
    fail "the changelog's newest entry is not $2"

# Manual pages made from --help: each names its program, its version and its options.
for p in zor-console:--auto-update zor-ctl:--json zor-sim:--pty; do
    page="$tmp/root/usr/share/man/man1/${p%%:*}.1.gz"
    [ -f "$page" ] || fail "no manual page /usr/share/man/man1/${p%%:*}.1.gz"
    text="$(zcat "$page" | sed 's/\\-/-/g')" # roff writes a hyphen as \-
    grep -qi "^\.TH ${p%%:*} .*\"${p%%:*} $2\"" <<<"$text" || fail "${p%%:*}.1: heading"
    grep -q -- "${p#*:}" <<<"$text" || fail "${p%%:*}.1 lacks ${p#*:}"
done
zcat "$tmp/root/usr/share/man/man1/zor-ctl.1.gz" | grep -q "130" || fail "zor-ctl.1: exit 130"

# The desktop entry polls the last link; its second action asks as before.
desktop="$tmp/root/usr/share/applications/zor-console.desktop"
grep -q "^Exec=zor-console --last$" "$desktop" || fail "desktop entry: Exec"
grep -q "^Actions=ask-for-port;$" "$desktop" && grep -q "^Exec=zor-console$" "$desktop" ||
    fail "desktop entry: the action that asks for a port"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$desktop" || fail "desktop-file-validate"
fi
echo "ok: $(basename "$deb")"
