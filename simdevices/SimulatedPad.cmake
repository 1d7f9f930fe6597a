# The USB device models (the signature pad first) and the in-process bus
# that puts them behind the USB seam.
if(PERIPHD_SERVICE AND NOT TARGET periphd_simdevices)
  add_library(periphd_simdevices STATIC
    ${CMAKE_CURRENT_LIST_DIR}/SimulatedUsbDevice.h
    ${CMAKE_CURRENT_LIST_DIR}/SimulatedPad.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SimulatedPad.h
    ${CMAKE_CURRENT_LIST_DIR}/SimulatedUsbBus.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SimulatedUsbBus.h
    ${CMAKE_CURRENT_LIST_DIR}/Simulation.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Simulation.h)
  target_include_directories(periphd_simdevices PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(periphd_simdevices PUBLIC periphd_usb Qt5::Core)

  # The same models as kernel device nodes under umockdev (tests only):
  # usbdevfs for libusb, hidraw for the hidraw driver.
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(UMOCKDEV IMPORTED_TARGET umockdev-1.0)
  if(UMOCKDEV_FOUND)
    add_library(periphd_umockdev_models STATIC
      ${CMAKE_CURRENT_LIST_DIR}/UsbdevfsEmulation.cpp
      ${CMAKE_CURRENT_LIST_DIR}/UsbdevfsEmulation.h
      ${CMAKE_CURRENT_LIST_DIR}/HidrawEmulation.cpp
      ${CMAKE_CURRENT_LIST_DIR}/HidrawEmulation.h)
    target_include_directories(periphd_umockdev_models PUBLIC ${CMAKE_CURRENT_LIST_DIR})
    target_link_libraries(periphd_umockdev_models PUBLIC periphd_simdevices PkgConfig::UMOCKDEV)
  endif()
endif()
