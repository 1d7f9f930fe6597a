# Installs the build into a staging root and checks that periphd names
# libCardBridge by its absolute install directory: the library lands there,
# the program's run path points there, and without the library (nothing is
# installed at that path on this machine) the program does not start.
file(REMOVE_RECURSE ${STAGE})
execute_process(COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${STAGE} ${CMAKE_COMMAND} --install ${BUILD_DIR}
  RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "install failed")
endif()

set(staged_library ${STAGE}${LIBDIR}/libCardBridge.so.1)
if(NOT EXISTS ${staged_library})
  message(FATAL_ERROR "libCardBridge is not installed in ${LIBDIR}")
endif()
file(GLOB staged_program ${STAGE}/*/bin/periphd ${STAGE}/*/*/bin/periphd)
list(LENGTH staged_program found)
if(NOT found EQUAL 1)
  message(FATAL_ERROR "installed periphd not found under ${STAGE}: ${staged_program}")
endif()

execute_process(COMMAND readelf -d ${staged_program} OUTPUT_VARIABLE dynamic)
if(NOT dynamic MATCHES "NEEDED\\)[ \t]+Shared library: \\[libCardBridge\\.so\\.1\\]")
  message(FATAL_ERROR "periphd does not link libCardBridge:\n${dynamic}")
endif()
if(NOT dynamic MATCHES "(RPATH|RUNPATH)\\)[ \t]+Library r(un)?path: \\[${LIBDIR}\\]")
  message(FATAL_ERROR "periphd's run path is not ${LIBDIR}:\n${dynamic}")
endif()

if(EXISTS ${LIBDIR}/libCardBridge.so.1)
  message(STATUS "libCardBridge is installed on this machine; skipping the missing-library start")
  return()
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH QT_QPA_PLATFORM=offscreen
  ${staged_program} --version
  RESULT_VARIABLE rc ERROR_VARIABLE err OUTPUT_QUIET TIMEOUT 20)
if(rc EQUAL 0 OR NOT err MATCHES "libCardBridge\\.so\\.1")
  message(FATAL_ERROR "periphd started without libCardBridge (rc ${rc}): ${err}")
endif()
message(STATUS "periphd refuses to start without ${LIBDIR}/libCardBridge.so.1: ${err}")
