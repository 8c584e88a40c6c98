#!/usr/bin/env bash
# The consumer project built as its users build it: against the installed
# package and with Vantrel in its own build (add_subdirectory), with Ninja
# and with Makefiles, and for another processor; then by GNU Make's pattern
# rules. Each build runs the
# program, changes a picture and checks that exactly its headers are made
# again, then that a second build does nothing, and last that the project's
# source tree is as it was.
#   run.sh <Vantrel's build tree> <Vantrel's source tree>
set -euo pipefail
build=$1 source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cmake --install "$build" --prefix "$work/prefix" >/dev/null
cp -r "$source/tests/consumer" "$work/project"
project=$work/project
snapshot() { (cd "$project" && find . -type f -exec md5sum {} + | sort); }
snapshot >"$work/tree-before"
cp "$project/pics/logo.png" "$work/first-logo.png"

icon="icon 3x1 69d469ea 7f807f80 00800080"
first="logo 2x2 4c544cff 952b9515 1dff1d6b fe80fe80"
over="logo 2x2 4c544cff 952b9515 1dff1d6b 69d469ea"  # its transparent pixel over magenta
changed="logo 2x2 00800080 fe80fe80 e100e194 b2abb200"
expect() {  # program, its expected lines
    local got
    got=$("$1")
    [ "$got" = "$(printf '%s\n%s' "$2" "$3")" ] || fail "$1 printed: $got"
}
mtime() { stat -c %Y.%y "$1"; }

for generator in Ninja "Unix Makefiles"; do
    for way in package subdirectory; do
        dir="$work/build-${way}-${generator// /}"
        what="$way, $generator"
        if [ "$way" = package ]; then
            cmake -S "$project" -B "$dir" -G "$generator" -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
        else
            cmake -S "$project" -B "$dir" -G "$generator" -DVANTREL_SOURCE="$source" >/dev/null
            # Vantrel's tests stay out of a build that only uses it.
            ! cmake --build "$dir" --target help | grep -q vantrel_tests || fail "$what: Vantrel's tests are in the build"
        fi
        cmake --build "$dir" >"$dir.log" 2>&1 || { cat "$dir.log"; fail "$what: the first build failed"; }
        expect "$dir/show" "$first" "$icon"
        expect "$dir/show_all" "$over" "$icon"

        # A changed picture makes its own header and data.h again, nothing else.
        headers="$dir/vantrel-headers"
        icon_made=$(mtime "$headers/show/icon.h")
        cp "$project/changed-logo.png" "$project/pics/logo.png"
        cmake --build "$dir" >"$dir.log" 2>&1 || { cat "$dir.log"; fail "$what: the rebuild failed"; }
        expect "$dir/show" "$changed" "$icon"
        [ "$(mtime "$headers/show/icon.h")" = "$icon_made" ] || fail "$what: icon.h was made again"
        [ "$(grep -c 'Converting' "$dir.log")" = 2 ] || { cat "$dir.log"; fail "$what: not exactly two conversions"; }

        # Nothing changed: nothing is done.
        cmake --build "$dir" >"$dir.log" 2>&1
        if grep -Eq 'Converting|Building|Linking' "$dir.log"; then
            cat "$dir.log"
            fail "$what: a build with nothing changed did something"
        fi

        # A picture vantrel refuses fails the build with its error line and
        # leaves no header: neither logo.h nor data.h, where vantrel has
        # written the icon before it refuses the logo. A target at a time, as
        # a build stops at its first failure.
        printf 'not a picture' >"$project/pics/logo.png"
        for header in show/logo.h show_all/data.h; do
            cmake --build "$dir" --target "${header%/*}" >"$dir.log" 2>&1 && fail "$what: a bad picture built"
            grep -q 'error: wrong BMP format' "$dir.log" || { cat "$dir.log"; fail "$what: no error line"; }
            [ ! -e "$headers/$header" ] || fail "$what: a stale or partial $header"
        done
        cp "$work/first-logo.png" "$project/pics/logo.png"
    done
done

# A new vantrel makes every header again.
dir="$work/build-package-Ninja"
touch "$work/prefix/bin/vantrel"
cmake --build "$dir" >"$dir.log" 2>&1
[ "$(grep -c 'Converting' "$dir.log")" = 3 ] || { cat "$dir.log"; fail "a new vantrel did not remake every header"; }

# Built for another processor, here Windows with MinGW-w64: Vantrel in the
# build makes a vantrel for the build machine, whose headers are the same.
# Ninja Multi-Config too, whose host build keeps a folder per configuration
# as Visual Studio and Xcode do. (Skipped where that compiler is missing; CI
# has it.)
if command -v x86_64-w64-mingw32-gcc-posix >/dev/null; then
    for generator in Ninja "Ninja Multi-Config"; do
        dir="$work/build-cross-${generator// /}"
        what="cross, $generator"
        cmake -S "$project" -B "$dir" -G "$generator" -DCMAKE_TOOLCHAIN_FILE="$source/cmake/mingw-w64-x86_64.cmake" \
            -DVANTREL_SOURCE="$source" >/dev/null
        cmake --build "$dir" >"$dir.log" 2>&1 || { cat "$dir.log"; fail "$what: the build failed"; }
        [ -f "$dir/show.exe" ] || [ -f "$dir/Debug/show.exe" ] || fail "$what: no show.exe"
        for header in show/logo.h show/icon.h show_all/data.h; do
            cmp "$dir/vantrel-headers/$header" "$work/build-package-Ninja/vantrel-headers/$header" ||
                fail "$what: $header differs"
        done
    done
else
    echo "x86_64-w64-mingw32-gcc-posix not found: the cross build is not tried"
fi

# The builds wrote nothing into the project.
snapshot >"$work/tree-after"
diff "$work/tree-before" "$work/tree-after" || fail "the builds changed the source tree"

# GNU Make's pattern rules, in a copy of the project.
cp -r "$project" "$work/make"
make -C "$work/make" VANTREL="$work/prefix/bin/vantrel" >/dev/null
expect "$work/make/show" "$first" "$icon"
cp "$project/changed-logo.png" "$work/make/pics/logo.png"
made=$(make -C "$work/make" VANTREL="$work/prefix/bin/vantrel")
expect "$work/make/show" "$changed" "$icon"
case $made in *icon*) fail "make converted icon.bmp again" ;; esac
make -q -C "$work/make" VANTREL="$work/prefix/bin/vantrel" show || fail "make has work left"
printf 'not a picture' >"$work/make/pics/logo.png"
make -C "$work/make" VANTREL="$work/prefix/bin/vantrel" >/dev/null 2>&1 && fail "make built a bad picture"
[ ! -e "$work/make/gen/logo.h" ] || fail "make left a stale logo.h"
echo "consumer project: every build as expected"
