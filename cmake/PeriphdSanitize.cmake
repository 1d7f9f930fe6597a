# PERIPHD_SANITIZE: AddressSanitizer (with its leak checker) and
# UndefinedBehaviorSanitizer on every target that follows: the program, its
# libraries, the tests and the fuzzers. Any report ends the process, so a
# fault cannot scroll past in a log and let a test pass.
#
# scripts/sanitize.sh and scripts/fuzz.sh configure one such build and share
# it (scripts/configure-sanitized.sh).
option(PERIPHD_SANITIZE "Build everything with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(PERIPHD_SANITIZE)
  set(PERIPHD_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(${PERIPHD_SANITIZER_FLAGS})
  # Executables get the runtimes; shared libraries take them from the
  # program that loads them.
  add_link_options(-fsanitize=address,undefined)
endif()
