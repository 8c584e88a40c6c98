#!/usr/bin/env bash
# The consumer project built as its users build it: against the installed
# package and with Vantrel in its own build (add_subdirectory), with Ninja
# and with Makefiles, and for another processor; its C++ part alone; then by
# GNU Make's pattern rules. Each build runs the programs, changes a picture
# and checks that exactly its headers and sources are made again, and only
# the objects that need them compiled, then that a second build does
# nothing, that a bad picture leaves none, and last that the project's
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
time=${first/logo/time}
anim=${first/logo/anim}
layout="icon 3x1 1 0 3 3 4 4 4e 7e 10 ab b3 80 80"
expect() {  # program, its expected lines
    local got
    got=$("$1")
    [ "$got" = "$(printf '%s\n' "${@:2}")" ] || fail "$1 printed: $got"
}
mtime() { stat -c %Y.%y "$1"; }

for generator in Ninja "Unix Makefiles"; do
    for way in package subdirectory; do
        dir="$work/build-${way}-${generator// /}"
        what="$way, $generator"
        # gcc, and clang where it is there, each with both generators.
        compilers=()
        case "$generator/$way" in "Ninja/subdirectory" | "Unix Makefiles/package")
            if command -v clang >/dev/null; then
                compilers=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++)
                what="$what, clang"
            fi ;;
        esac
        if [ "$way" = package ]; then
            cmake -S "$project" -B "$dir" -G "$generator" "${compilers[@]}" -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
        else
            cmake -S "$project" -B "$dir" -G "$generator" "${compilers[@]}" -DVANTREL_SOURCE="$source" >/dev/null
            # Vantrel's tests stay out of a build that only uses it.
            ! cmake --build "$dir" --target help | grep -q vantrel_tests || fail "$what: Vantrel's tests are in the build"
        fi
        cmake --build "$dir" >"$dir.log" 2>&1 || { cat "$dir.log"; fail "$what: the first build failed"; }
        # The build's own line per conversion, none of vantrel's progress.
        ! grep -Eq '^(Loading|Writing|Making|Done)' "$dir.log" || fail "$what: vantrel was not quiet"
        expect "$dir/show" "$first" "$icon"
        expect "$dir/show_all" "$over" "$icon"
        expect "$dir/show_headers" "$first" "$icon"
        expect "$dir/parts" "$first" "$icon" "$time" "$anim"
        expect "$dir/show_layout" "$layout"
        # The form GCC takes best unasked; none but headers when asked.
        headers="$dir/vantrel-headers"
        grep -q __asm__ "$headers/show/logo.c" || fail "$what: show/logo.c is not assembler data"
        [ ! -e "$headers/show_headers/logo.c" ] || fail "$what: FORM HEADER made logo.c"

        # A changed picture makes its own files and the combined ones again,
        # nothing else; of the same size, its split headers stay as they
        # were, and only its sources and the files that include the
        # header that holds its words are compiled again.
        icon_made=$(mtime "$headers/show/icon.h")$(mtime "$headers/show/icon.c")$(mtime "$headers/parts/icons.c")
        cp "$project/changed-logo.png" "$project/pics/logo.png"
        cmake --build "$dir" >"$dir.log" 2>&1 || { cat "$dir.log"; fail "$what: the rebuild failed"; }
        compiled=$(grep -o '[a-z_]*\.dir/.*\.o' "$dir.log" | sort | tr '\n' ' ')
        [ "$compiled" = "parts.dir/vantrel-headers/parts/sprites.c.o show.dir/vantrel-headers/show/logo.c.o \
show_all.dir/vantrel-headers/show_all/data.c.o show_headers.dir/show.c.o " ] || fail "$what: compiled $compiled"
        expect "$dir/show" "$changed" "$icon"
        expect "$dir/show_headers" "$changed" "$icon"
        expect "$dir/parts" "$changed" "$icon" "$time" "$anim"
        [ "$(mtime "$headers/show/icon.h")$(mtime "$headers/show/icon.c")$(mtime "$headers/parts/icons.c")" = "$icon_made" ] ||
            fail "$what: the icon's files were made again"
        [ "$(grep -c 'Converting' "$dir.log")" = 4 ] || { cat "$dir.log"; fail "$what: not exactly four conversions"; }

        # Nothing changed: nothing is done.
        cmake --build "$dir" >"$dir.log" 2>&1
        if grep -Eq 'Converting|Building|Linking' "$dir.log"; then
            cat "$dir.log"
            fail "$what: a build with nothing changed did something"
        fi

        # A picture vantrel refuses fails the build with its error line and
        # leaves no header or source: not even data.*, where
        # vantrel has written the icon before it refuses the logo. A target
        # at a time, as a build stops at its first failure.
        printf 'not a picture' >"$project/pics/logo.png"
        for outputs in "show logo.h logo.c" "show_all data.h data.c" "show_headers logo.h" "parts sprites.h sprites.c"; do
            set -- $outputs
            cmake --build "$dir" --target "$1" >"$dir.log" 2>&1 && fail "$what: a bad picture built"
            grep -q '^error: .*wrong BMP format' "$dir.log" || { cat "$dir.log"; fail "$what: no error line"; }
            for file in "${@:2}"; do
                [ ! -e "$headers/$1/$file" ] || fail "$what: a stale or partial $1/$file"
            done
        done
        cp "$work/first-logo.png" "$project/pics/logo.png"
    done
done

# A new vantrel makes every header again.
dir="$work/build-package-Ninja"
touch "$work/prefix/bin/vantrel"
cmake --build "$dir" >"$dir.log" 2>&1
[ "$(grep -c 'Converting' "$dir.log")" = 10 ] || { cat "$dir.log"; fail "a new vantrel did not remake every header"; }

# Calls that would make the same file for one target, or the same names in
# C, stop the configuration with the function's own message, not CMake's
# or the linker's.
for twice in "data:an earlier call already makes data.h for show_all" \
    "identifier:two pictures of show would both be named my_icon in C" \
    "case:an earlier call already makes Logo.h for show_headers"; do
    dir="$work/build-twice-${twice%%:*}"
    cmake -S "$project" -B "$dir" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" -DTWICE="${twice%%:*}" >"$dir.log" 2>&1 &&
        fail "TWICE=${twice%%:*} configured"
    grep -q "${twice#*:}" "$dir.log" || { cat "$dir.log"; fail "no message for TWICE=${twice%%:*}"; }
done

# The C++ project without C: its data sources compile as C++. With
# add_subdirectory, where Vantrel's project enables C, it is only generated:
# a source left to C has no rule there, which generating finds. (The vantrel
# installed above spares it a build of its own.)
dir="$work/build-cxx"
cmake -S "$project/cxx" -B "$dir" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$dir" >"$dir.log" 2>&1 || { cat "$dir.log"; fail "C++ only: the build failed"; }
expect "$dir/show" "$first" "$icon"
expect "$dir/show_all" "$over" "$icon"
cmake -S "$project/cxx" -B "$dir-subdirectory" -G Ninja -DVANTREL_SOURCE="$source" \
    -DVANTREL_EXECUTABLE="$work/prefix/bin/vantrel" >"$dir.log" 2>&1 ||
    { cat "$dir.log"; fail "C++ only, subdirectory: generating failed"; }

# Built for another processor, here Windows with MinGW-w64, the toolchain
# and the compilers named by the environment, as CMake allows: Vantrel in
# the build makes a vantrel for the build machine, with its own compilers,
# whose files are the same. Ninja Multi-Config too, whose host build keeps a
# folder per configuration as Visual Studio and Xcode do, and which
# converts nothing again for another configuration. (Skipped where that
# compiler is missing; CI has it.)
if command -v x86_64-w64-mingw32-gcc-posix >/dev/null; then
    # The sources of ASM name their word files by their paths; the rest
    # of them, the words' files' names included, is the same.
    same() { sed -E 's|"[^"]*/([^/"]*)"|"\1"|g' "$1"; }
    for generator in Ninja "Ninja Multi-Config"; do
        dir="$work/build-cross-${generator// /}"
        what="cross, $generator"
        (
            export CMAKE_TOOLCHAIN_FILE="$source/cmake/mingw-w64-x86_64.cmake"
            export CC=x86_64-w64-mingw32-gcc-posix CXX=x86_64-w64-mingw32-g++-posix
            cmake -S "$project" -B "$dir" -G "$generator" -DVANTREL_SOURCE="$source" >/dev/null
            cmake --build "$dir" >"$dir.log" 2>&1 || { cat "$dir.log"; fail "$what: the build failed"; }
            if [ "$generator" = "Ninja Multi-Config" ]; then
                for config in Release Debug; do
                    cmake --build "$dir" --config $config >"$dir.log" 2>&1 || { cat "$dir.log"; fail "$what: $config failed"; }
                    ! grep -q Converting "$dir.log" || fail "$what: $config converted again"
                done
            fi
        )
        [ -f "$dir/show.exe" ] || [ -f "$dir/Debug/show.exe" ] || fail "$what: no show.exe"
        for file in show/logo.h show/logo.c show/icon.c show_all/data.h show_all/data.c parts/sprites.c; do
            cmp <(same "$dir/vantrel-headers/$file") <(same "$work/build-package-Ninja/vantrel-headers/$file") ||
                fail "$what: $file differs"
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
expect "$work/make/show_asm" "$first" "$icon"
cp "$project/changed-logo.png" "$work/make/pics/logo.png"
made=$(make -C "$work/make" VANTREL="$work/prefix/bin/vantrel")
expect "$work/make/show" "$changed" "$icon"
expect "$work/make/show_asm" "$changed" "$icon"
case $made in *pics/icon*) fail "make converted icon.bmp again" ;; esac
make -q -C "$work/make" VANTREL="$work/prefix/bin/vantrel" show show_asm || fail "make has work left"
printf 'not a picture' >"$work/make/pics/logo.png"
make -k -C "$work/make" VANTREL="$work/prefix/bin/vantrel" >/dev/null 2>&1 && fail "make built a bad picture"
for file in gen/logo.h asm/logo.h asm/logo.c; do
    [ ! -e "$work/make/$file" ] || fail "make left a stale $file"
done
# README's Make rules, as it gives them, build the same programs.
mkdir "$work/readme"
cp -r "$project/pics" "$project/show.c" "$work/readme"
awk '/^```make$/ { on = 1; next } /^```$/ { on = 0 } on' "$source/README.md" >"$work/readme/Makefile"
make -C "$work/readme" VANTREL="$work/prefix/bin/vantrel" show show_asm >"$work/readme.log" 2>&1 ||
    { cat "$work/readme.log"; fail "README's Make rules failed"; }
expect "$work/readme/show_asm" "$first" "$icon"
echo "consumer project: every build as expected"
