#!/usr/bin/env bash
# The packages as users get them, after cpack in both build trees: the .deb
# installed (as root by dpkg, otherwise unpacked into a scratch root) serves
# the consumer project, which then names no prefix; the .tar.gz's vantrel
# runs; the Windows .zip's programs convert a PNG and preview its header
# under wine64. A package installed here is purged again, leaving the
# machine as it was.
#   run.sh <Linux build tree> <mingw64 build tree> <Vantrel's source tree>
set -euo pipefail
build=$(realpath "$1") windows=$(realpath "$2") source=$(realpath "$3")
work=$(mktemp -d)
installed=""
cleanup() {
    [ -z "$installed" ] || dpkg --purge vantrel >/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

# Every package is named for the version the programs print
# ("vantrel 1.0 (libpng ...)").
line=$("$build/vantrel" --version)
version=${line#vantrel }
version=${version%% *}
deb=$build/vantrel_${version}_$(dpkg --print-architecture).deb
tgz=$build/vantrel-$version-Linux-$(uname -m).tar.gz
zip=$windows/vantrel-$version-win64.zip
for package in "$deb" "$tgz" "$zip"; do
    [ -f "$package" ] || fail "no $package"
done
# Without libpng's runtime declared, a fresh machine gets programs that
# cannot start.
dpkg-deb -f "$deb" Depends | grep -q libpng || fail "the .deb does not depend on libpng"

# dpkg only as root, and never over a vantrel installed before.
if [ "$(id -u)" = 0 ] && ! dpkg -s vantrel >/dev/null 2>&1; then
    installed=yes
    dpkg -i "$deb" >/dev/null
    usr=/usr prefix=()
else
    dpkg-deb -x "$deb" "$work/root"
    usr=$work/root/usr prefix=(-DCMAKE_PREFIX_PATH="$usr")
fi
[ "$("$usr/bin/vantrel" --version)" = "$line" ] || fail "the installed vantrel is not $version"
# Debian's policy: the licence in the machine-readable copyright format, its
# text a line behind a space each, an empty one " ."; and a changelog for
# this version compressed with gzip -9n: no name, no time stamp (bytes 3 to
# 7 zero), the best compression (byte 8 is 2).
doc=$usr/share/doc/vantrel
[ "$(head -1 "$doc/copyright")" = "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" ] ||
    fail "no machine-readable copyright file"
diff <(sed '1,/^License: Expat$/d' "$doc/copyright") <(sed -n '/^Permission/,$p' "$source/LICENSE" | sed 's/^$/./; s/^/ /') ||
    fail "the copyright file does not hold LICENSE's terms"
[ "$(od -An -tx1 -j3 -N6 "$doc/changelog.gz" | tr -d ' \n')" = 000000000002 ] || fail "changelog.gz is not made by gzip -9n"
gzip -dc "$doc/changelog.gz" | head -1 | grep -q "^vantrel ($version) " || fail "changelog.gz is not that of $version"
consumer=$work/consumer
cmake -S "$source/tests/consumer" -B "$consumer" "${prefix[@]}" >/dev/null
# Not some other Vantrel, in /usr/local say.
grep -qx "Vantrel_DIR:PATH=$usr/lib/cmake/Vantrel" "$consumer/CMakeCache.txt" ||
    fail "find_package took $(grep '^Vantrel_DIR' "$consumer/CMakeCache.txt")"
cmake --build "$consumer" --target show >"$consumer.log" 2>&1 || { cat "$consumer.log"; fail "the consumer build failed"; }
[ "$("$consumer/show")" = "$(printf '%s\n' "logo 2x2 4c544cff 952b9515 1dff1d6b fe80fe80" "icon 3x1 69d469ea 7f807f80 00800080")" ] ||
    fail "show printed: $("$consumer/show")"

tar -xzf "$tgz" -C "$work"
[ "$("$work/vantrel-$version-Linux-$(uname -m)/bin/vantrel" --version)" = "$line" ] ||
    fail "the .tar.gz's vantrel does not run"

# The same loader and prefix as the mingw64 build's tests.
wine=$(sed -n 's/^VANTREL_WINE:FILEPATH=//p' "$windows/CMakeCache.txt")
[ -x "$wine" ] || fail "the mingw64 build found no wine64"
(cd "$work" && cmake -E tar xf "$zip")
dir=$work/vantrel-$version-win64
for file in vantrel.exe vantrel-preview.exe README.md LICENSE; do
    [ -f "$dir/$file" ] || fail "the .zip has no $file at its top"
done
cp "$source/tests/consumer/pics/logo.png" "$dir/"
mkdir "$dir/preview"
run() { (cd "$dir" && WINEPREFIX="$windows/wineprefix" WINEDEBUG=-all LC_ALL=C.UTF-8 "$wine" "$@") >"$work/wine.log" 2>&1 ||
    { cat "$work/wine.log"; fail "$1 failed"; }; }
run vantrel.exe logo.png
[ -f "$dir/logo.h" ] || fail "vantrel.exe wrote no logo.h"
run vantrel-preview.exe --output-dir preview logo.h
file "$dir/preview/logo.png" | grep -q 'PNG image data, 2 x 2' || fail "vantrel-preview.exe wrote no 2x2 PNG"
echo "packages: the .deb, .tar.gz and .zip as expected"
