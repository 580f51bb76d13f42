# Steps the scripts share. Source it from the project root:
#   cd "$(dirname "$0")/.." && . scripts/lib.sh

# How many compile and test jobs run at once: one a processor.
jobs=$(nproc 2>/dev/null || echo 2)

# stage TITLE: heads a stage of a script's output, with the time it began.
stage() {
  echo "== $* ($(date -u +%H:%M:%S))"
}

# configure DIR [CMAKE OPTION...]: configures the build tree DIR quietly.
configure() {
  local dir=$1
  shift
  cmake -S . -B "$dir" "$@" >/dev/null
}

# build_tree [-q] DIR [TARGET...]: builds the configured tree DIR (every
# target when none is named) with $jobs jobs; -q keeps the compiler's
# progress off the terminal.
build_tree() {
  local quiet=0
  if [ "$1" = -q ]; then
    quiet=1
    shift
  fi
  local dir=$1
  shift
  local command=(cmake --build "$dir" -j"$jobs")
  [ $# -eq 0 ] || command+=(--target "$@")
  if [ $quiet = 1 ]; then "${command[@]}" >/dev/null; else "${command[@]}"; fi
}

# configure_win32 DIR STDCALL: a 32-bit Windows tree with every test suite,
# __stdcall conventions when STDCALL is ON. scripts/test-windows checks its
# DLL and scripts/test-win32 builds the rest and runs it: both must see the
# same options, so that neither reconfigures the other's tree.
configure_win32() {
  configure "$1" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake -DULO_WERROR=ON \
    -DULO_BUILD_BENCHMARKS=OFF -DULO_BUILD_TESTS=ON -DULO_WIN32_STDCALL="$2"
}

# win32_dir VARIANT: the tree of the 32-bit build "default" or "stdcall".
win32_dir() {
  if [ "$1" = default ]; then echo build-win32; else echo build-win32-stdcall; fi
}

# load: the load averages over 1, 5 and 15 minutes, for reports.
load() {
  cut -d' ' -f1-3 /proc/loadavg
}
