# Installs the built library into a scratch prefix, then builds and runs a
# tiny C host against it twice: through find_package and through pkg-config.
# Run with cmake -P and:
#   BUILD_DIR      the library's build tree
#   WORK_DIR       scratch directory (emptied first)
#   CONSUMER_DIR   the host project's sources
#   GENERATOR, C_COMPILER, BUILD_CONFIG
#   SANITIZE       the sanitizers the library was built with (may be empty)
#   PKG_CONFIG     the pkg-config program (empty: that half is skipped)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0)
    string(REPLACE ";" " " line "${ARGN}")
    message(FATAL_ERROR "failed (${status}): ${line}\n${out}")
  endif()
endfunction()

set(prefix ${WORK_DIR}/prefix)
set(scratch ${WORK_DIR}/scratch)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${scratch})

set(flags "")
if(SANITIZE)
  set(flags "-fsanitize=${SANITIZE}")
endif()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} --config ${BUILD_CONFIG})

# find_package
run(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/consumer -G ${GENERATOR}
  -DCMAKE_BUILD_TYPE=${BUILD_CONFIG} -DCMAKE_PREFIX_PATH=${prefix} -DEXPECTED_PREFIX=${prefix}
  -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_C_FLAGS=${flags} -DCMAKE_EXE_LINKER_FLAGS=${flags})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/consumer --config ${BUILD_CONFIG})
file(GLOB_RECURSE host ${WORK_DIR}/consumer/host ${WORK_DIR}/consumer/host.exe)
if(NOT host)
  message(FATAL_ERROR "the host was not built")
endif()
list(GET host 0 host)
run(${host} ${scratch})
message(STATUS "find_package host ran")

# pkg-config
if(NOT PKG_CONFIG)
  message(STATUS "pkg-config not found: its half skipped")
  return()
endif()
file(GLOB_RECURSE pc_file ${prefix}/vorn_ulo.pc)
if(NOT pc_file)
  message(FATAL_ERROR "vorn_ulo.pc was not installed")
endif()
get_filename_component(pc_dir ${pc_file} DIRECTORY)
set(ENV{PKG_CONFIG_PATH} ${pc_dir})
execute_process(COMMAND ${PKG_CONFIG} --cflags --libs vorn_ulo
  RESULT_VARIABLE status OUTPUT_VARIABLE options OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND ${PKG_CONFIG} --variable=libdir vorn_ulo
  OUTPUT_VARIABLE libdir OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "pkg-config does not know vorn_ulo")
endif()
separate_arguments(options UNIX_COMMAND "${options}")
run(${C_COMPILER} ${flags} ${CONSUMER_DIR}/host.c ${options} -o ${WORK_DIR}/host_pc)
set(ENV{LD_LIBRARY_PATH} ${libdir})
file(REMOVE_RECURSE ${scratch})
file(MAKE_DIRECTORY ${scratch})
run(${WORK_DIR}/host_pc ${scratch})
message(STATUS "pkg-config host ran")
