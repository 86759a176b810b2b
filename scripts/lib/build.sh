# Sourced by the scripts: configure and build the program and its tests.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=$root/build

# The program and its tests for Windows, and the trace tools that the
# scripts run beside them.
build_all() {
  cmake -S "$root" -B "$build" -G Ninja -Wno-dev \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null &&
    cmake --build "$build" &&
    build_trace_tools
}

# For the scripts that run the program: what build_all says is shown only
# when it fails.
build_all_quietly() {
  [ -f "$build/build.ninja" ] || echo "build: building everything, the first time (about a minute)" >&2
  quietly build_all
}

# Runs a build with its output kept in build/last-build.log, and shows its
# end when the build fails: the compiler's errors go to standard output
# with the rest.
quietly() {
  local log=$build/last-build.log status=0
  mkdir -p "$build"
  "$@" >"$log" 2>&1 || status=$?
  [ "$status" -eq 0 ] ||
    { tail -n 60 "$log" >&2; echo "build: failed; the whole of its output is in $log" >&2; }
  return "$status"
}

# The program for 32 bits, as the handheld is, with the same warnings as
# errors: pointer-size mistakes show there first. Built, not run.
build_handheld32() {
  cmake -S "$root" -B "$build/i686" -G Ninja -Wno-dev \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-i686.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF >/dev/null &&
    cmake --build "$build/i686" --target remote
}

build_native_checks() {
  CXX=clang++ cmake -S "$root/tests/native" -B "$build/native" -G Ninja >/dev/null &&
    cmake --build "$build/native"
}

# The trace relay and check-trace, for this machine (tools/trace): build/trace/.
# One build at a time: runs of the phone-test start side by side, and two
# configures in one build tree spoil each other's files.
build_trace_tools() {
  mkdir -p "$build"
  (
    flock 8
    CXX=clang++ cmake -S "$root/tools/trace" -B "$build/trace" -G Ninja >/dev/null &&
      cmake --build "$build/trace"
  ) 8>"$build/trace.lock"
}
