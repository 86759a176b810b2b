# Sourced by the scripts: configure and build the program and its tests.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=$root/build

build_all() {
  cmake -S "$root" -B "$build" -G Ninja -Wno-dev \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build"
}

build_native_checks() {
  CXX=clang++ cmake -S "$root/tests/native" -B "$build/native" -G Ninja >/dev/null
  cmake --build "$build/native"
}
