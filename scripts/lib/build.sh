# Sourced by the scripts: configure and build the program and its tests.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=$root/build

build_all() {
  cmake -S "$root" -B "$build" -G Ninja -Wno-dev \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build"
}

# The program for 32 bits, as the handheld is, with the same warnings as
# errors: pointer-size mistakes show there first. Built, not run.
build_handheld32() {
  cmake -S "$root" -B "$build/i686" -G Ninja -Wno-dev \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-i686.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF >/dev/null
  cmake --build "$build/i686" --target remote
}

build_native_checks() {
  CXX=clang++ cmake -S "$root/tests/native" -B "$build/native" -G Ninja >/dev/null
  cmake --build "$build/native"
}
