# The virtual SIM card: Qt-free, so the library tests, the fuzz builds and
# the simulated run can all use it.
if(NOT TARGET periphd_virtualsim)
  find_package(Threads REQUIRED)
  add_library(periphd_virtualsim STATIC
    ${CMAKE_CURRENT_LIST_DIR}/VirtualSimCard.cpp
    ${CMAKE_CURRENT_LIST_DIR}/VirtualSimCard.h)
  target_include_directories(periphd_virtualsim PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(periphd_virtualsim PUBLIC Threads::Threads)
endif()
