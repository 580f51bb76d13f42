# `cmake --install` also puts the Python package vorn_ulo in place, with a note of where the
# library went, so that the installed package loads the installed library.
option(ULO_INSTALL_PYTHON "Install the Python package vorn_ulo" ON)

if(ULO_INSTALL_PYTHON AND NOT CMAKE_CROSSCOMPILING)
  # Debian's own interpreter, where there is one, rather than whichever is first on PATH.
  if(NOT Python3_EXECUTABLE AND EXISTS /usr/bin/python3)
    set(Python3_EXECUTABLE /usr/bin/python3)
  endif()
  find_package(Python3 COMPONENTS Interpreter QUIET)
  if(Python3_FOUND)
    # Debian's Python looks in dist-packages under /usr/local; others in site-packages.
    if(EXISTS /etc/debian_version)
      set(ULO_PYTHON_SITE dist-packages)
    else()
      set(ULO_PYTHON_SITE site-packages)
    endif()
    set(ULO_PYTHON_INSTALL_DIR
      "lib/python${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR}/${ULO_PYTHON_SITE}"
      CACHE STRING "Where, under the prefix, the Python package vorn_ulo goes")
    if(WIN32)
      set(ULO_PYTHON_LIBRARY_DIR ${CMAKE_INSTALL_BINDIR})
    else()
      set(ULO_PYTHON_LIBRARY_DIR ${CMAKE_INSTALL_LIBDIR})
    endif()
    if(IS_ABSOLUTE "${ULO_PYTHON_INSTALL_DIR}" OR IS_ABSOLUTE "${ULO_PYTHON_LIBRARY_DIR}")
      message(FATAL_ERROR "ULO_PYTHON_INSTALL_DIR and the library directory must be relative "
                          "to the prefix, so the package finds the library under any prefix")
    endif()
    file(RELATIVE_PATH ULO_PYTHON_TO_LIBRARY /prefix/${ULO_PYTHON_INSTALL_DIR}/vorn_ulo
         /prefix/${ULO_PYTHON_LIBRARY_DIR})
    file(WRITE ${PROJECT_BINARY_DIR}/python/_installed.py
      "# Written by cmake --install: the library's directory, relative to this package.\n"
      "LIBRARY_DIR = \"${ULO_PYTHON_TO_LIBRARY}\"\n")
    install(DIRECTORY ${PROJECT_SOURCE_DIR}/python/vorn_ulo
      DESTINATION ${ULO_PYTHON_INSTALL_DIR}
      FILES_MATCHING PATTERN "*.py" PATTERN "py.typed"
      PATTERN "__pycache__" EXCLUDE)
    install(FILES ${PROJECT_BINARY_DIR}/python/_installed.py ${PROJECT_SOURCE_DIR}/VERSION
      DESTINATION ${ULO_PYTHON_INSTALL_DIR}/vorn_ulo)
  else()
    message(STATUS "No Python 3 interpreter: the package vorn_ulo is not installed")
  endif()
endif()
