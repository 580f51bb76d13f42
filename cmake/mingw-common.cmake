# Shared part of the MinGW-w64 toolchain files; ULO_MINGW_TRIPLET names the
# target. Not to be used on its own.
set(CMAKE_SYSTEM_NAME Windows)
if(ULO_MINGW_TRIPLET MATCHES "^x86_64")
  set(CMAKE_SYSTEM_PROCESSOR AMD64)
else()
  set(CMAKE_SYSTEM_PROCESSOR x86)
endif()

set(CMAKE_C_COMPILER ${ULO_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ULO_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ULO_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ULO_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# 64-bit programs run under Wine; Debian keeps its loader off PATH. The tests
# get a Wine prefix of their own inside the build tree and the ANSI code page
# of the library's users, 936 (GB2312/GBK), which Wine takes from the locale.
# That locale is compiled into the build tree as well (tests/CMakeLists.txt),
# so that Wine can also store GB2312 file names on the Linux side.
if(ULO_MINGW_TRIPLET MATCHES "^x86_64")
  find_program(ULO_WINE64 wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
  find_program(ULO_WINE64 wine64)
  if(ULO_WINE64)
    set(ULO_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine)
    set(ULO_WINE_LOCALES ${CMAKE_BINARY_DIR}/wine-locales)
    set(ULO_WINE_LOCALE zh_CN.UTF-8)
    set(ULO_WINE_ENVIRONMENT
        WINEPREFIX=${ULO_WINE_PREFIX} WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
        LOCPATH=${ULO_WINE_LOCALES} LC_ALL=${ULO_WINE_LOCALE})
    # scripts/wine-run starts a program again when Wine failed to start it.
    get_filename_component(ULO_WINE_RUN ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run ABSOLUTE)
    set(CMAKE_CROSSCOMPILING_EMULATOR env ${ULO_WINE_ENVIRONMENT} ${ULO_WINE_RUN} ${ULO_WINE64})
  endif()
endif()
