# The identity card readers' models: the SAM reader (bulk, two module
# generations) and the HID reader (feature reports). They sit on the
# in-process bus of periphd_simdevices and, in tests, under umockdev through
# periphd_umockdev_models.
if(PERIPHD_SERVICE AND NOT TARGET periphd_simreaders)
  add_library(periphd_simreaders STATIC
    ${CMAKE_CURRENT_LIST_DIR}/SimulatedCardReader.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SimulatedCardReader.h
    ${CMAKE_CURRENT_LIST_DIR}/SimulatedInterface.h
    ${CMAKE_CURRENT_LIST_DIR}/SimulatedSamReader.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SimulatedSamReader.h
    ${CMAKE_CURRENT_LIST_DIR}/SimulatedHidCardReader.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SimulatedHidCardReader.h)
  target_include_directories(periphd_simreaders PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  # The target is defined by SimulatedPad.cmake; names resolve at generation.
  target_link_libraries(periphd_simreaders PUBLIC periphd_simdevices periphd_usb Qt5::Core)
endif()
