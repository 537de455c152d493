#!/bin/sh
# Removes the build folders `make clean` names, each only once it is shown
# to be a build of this checkout: it is a folder, not a link, and holds the
# CMakeCache.txt that CMake wrote for that very folder, naming this checkout
# as its source; nor does it hold the checkout (a build made in the source
# folder). Everything in such a folder goes but the descriptions a user
# added or edited in its "ZORV dep files". When any folder named is not such
# a build, nothing at all is removed, and one line for each says why.
#
#   zorv_clean.sh SOURCE FOLDER...
set -u

source_dir=${1:?usage: zorv_clean.sh SOURCE FOLDER...}
shift
source_real=$(cd "$source_dir" && pwd -P) || exit 1

real() { (cd "$1" 2>/dev/null && pwd -P); }

# An INTERNAL value of a cache; a real cache has it in its first KiBs, so a
# file of gigabytes is never read whole.
cached() { head -c 1048576 "$1" | sed -n "s/^$2:INTERNAL=//p" | head -n 1; }

# Why FOLDER is not a build of this checkout that may go; nothing if it is.
refusal() {
    if [ -L "$1" ]; then
        echo "$1 is a link, not a build folder"
        return
    fi
    # Only a regular file is read: a FIFO under that name would never end.
    if [ -L "$1/CMakeCache.txt" ] || [ ! -f "$1/CMakeCache.txt" ]; then
        echo "$1 holds no CMakeCache.txt, so it is no build folder"
        return
    fi
    home=$(cached "$1/CMakeCache.txt" CMAKE_HOME_DIRECTORY)
    if [ -z "$home" ] || [ "$(real "$home")" != "$source_real" ]; then
        echo "$1 is a build of ${home:-an unknown source}, not of $source_real"
        return
    fi
    made_for=$(cached "$1/CMakeCache.txt" CMAKE_CACHEFILE_DIR)
    folder=$(real "$1")
    if [ -z "$made_for" ] || [ "$(real "$made_for")" != "$folder" ]; then
        echo "$1 holds a CMakeCache.txt that CMake made for ${made_for:-another folder}"
        return
    fi
    case $source_real/ in
        "${folder%/}"/*) echo "$1 holds the checkout $source_real itself" ;;
    esac
}

refused=0
for dir in "$@"; do
    [ -e "$dir" ] || [ -L "$dir" ] || continue
    why=$(refusal "$dir")
    if [ -n "$why" ]; then
        echo "make clean: $why; nothing was removed." >&2
        refused=1
    fi
done
[ "$refused" = 0 ] || exit 1

for dir in "$@"; do
    [ -d "$dir" ] || continue
    cmake "-DEXAMPLES=$source_real/examples" "-DFOLDER=$dir/ZORV dep files" \
        -P "$source_real/cmake/RemoveExamples.cmake" || exit 1
    # rm neither follows a link nor, so told, crosses into a file system
    # mounted inside the build.
    find "$dir" -mindepth 1 -maxdepth 1 ! -name 'ZORV dep files' \
        -exec rm -rf --one-file-system {} + || exit 1
    rmdir "$dir" 2>/dev/null || echo "make clean: kept your descriptions in $dir/ZORV dep files/"
done
