# Suites that need umockdev to stand in for the kernel's device nodes
# (usbdevfs, hidraw, video4linux under udev). Without it such a suite cannot
# be built; a test of the same name is registered in its place that fails
# and says what to install, so a run without umockdev never passes as if the
# drivers had been tested.
find_program(UMOCKDEV_WRAPPER umockdev-wrapper)

# Sets <result> to TRUE when the suite registered as <test_name> can run
# under umockdev; otherwise registers the failing stand-in and sets FALSE.
function(periphd_umockdev_available test_name result)
  if(UMOCKDEV_WRAPPER AND EXISTS "${UMOCKDEV_WRAPPER}" AND TARGET periphd_umockdev_models)
    set(${result} TRUE PARENT_SCOPE)
    return()
  endif()
  set(${result} FALSE PARENT_SCOPE)
  set(reason "${test_name} needs umockdev, which is missing; install umockdev and libumockdev-dev (scripts/install-deps.sh)")
  message(STATUS "${reason}")
  add_test(NAME ${test_name} COMMAND sh -c "echo \"$1\" >&2; exit 1" sh "${reason}")
  set_tests_properties(${test_name} PROPERTIES TIMEOUT 10)
endfunction()
