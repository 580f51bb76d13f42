# Cross-compiles for 64-bit Windows with MinGW-w64 (Debian's
# g++-mingw-w64-x86-64). The "-posix" compilers are used because the default
# ("win32" threads) standard library lacks std::mutex, which GoogleTest needs.
# Test programs run under Wine (Debian's wine64).
set(ULO_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
