# Cross-compiles for 32-bit Windows with MinGW-w64 (Debian's
# g++-mingw-w64-i686): the build of Vorn_ULO.dll that hosts load. Linux here
# cannot run 32-bit programs, so this build is checked, not run.
set(ULO_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
