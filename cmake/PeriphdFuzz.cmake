# libFuzzer targets. A fuzzer is registered with
#
#   periphd_add_fuzzer(NAME name SOURCES src... [LIBRARIES lib...]
#                      [SEEDER target] [MAX_LEN bytes])
#
# The seeder is an ordinary program (built in every configuration, so it is
# compiled and kept working by the normal build) that writes seed inputs into
# the folder named by its only argument. Fuzzers themselves need clang and are
# built only with PERIPHD_FUZZ=ON; scripts/fuzz.sh configures that build,
# builds the target `fuzzers` and runs every fuzzer listed in
# <build>/fuzzers.tsv for a bounded time.
option(PERIPHD_FUZZ "Build the libFuzzer targets (clang only)" OFF)
if(PERIPHD_FUZZ AND NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "PERIPHD_FUZZ needs clang")
endif()
if(PERIPHD_FUZZ AND NOT TARGET fuzzers)
  add_custom_target(fuzzers)
endif()

function(periphd_add_fuzzer)
  cmake_parse_arguments(FUZZ "" "NAME;SEEDER;MAX_LEN" "SOURCES;LIBRARIES" ${ARGN})
  if(NOT FUZZ_NAME OR NOT FUZZ_SOURCES)
    message(FATAL_ERROR "periphd_add_fuzzer: NAME and SOURCES are required")
  endif()
  if(NOT PERIPHD_FUZZ)
    return()
  endif()
  if(NOT FUZZ_MAX_LEN)
    set(FUZZ_MAX_LEN 4096)
  endif()
  add_executable(${FUZZ_NAME} ${FUZZ_SOURCES})
  target_link_libraries(${FUZZ_NAME} PRIVATE ${FUZZ_LIBRARIES})
  target_link_options(${FUZZ_NAME} PRIVATE -fsanitize=fuzzer)
  add_dependencies(fuzzers ${FUZZ_NAME})
  set(seeder "-")
  if(FUZZ_SEEDER)
    add_dependencies(fuzzers ${FUZZ_SEEDER})
    set(seeder "$<TARGET_FILE:${FUZZ_SEEDER}>")
  endif()
  set_property(GLOBAL APPEND PROPERTY PERIPHD_FUZZERS
               "${FUZZ_NAME}\t$<TARGET_FILE:${FUZZ_NAME}>\t${seeder}\t${FUZZ_MAX_LEN}")
endfunction()

# Called once at the end of the top-level list file, when every fuzzer is known.
function(periphd_write_fuzzer_list)
  if(NOT PERIPHD_FUZZ)
    return()
  endif()
  get_property(entries GLOBAL PROPERTY PERIPHD_FUZZERS)
  string(JOIN "\n" content ${entries})
  file(GENERATE OUTPUT "${CMAKE_BINARY_DIR}/fuzzers.tsv" CONTENT "${content}\n")
endfunction()
