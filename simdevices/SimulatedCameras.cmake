# The simulated document and portrait cameras, behind the camera window's
# discovery and frame-source seams.
if(PERIPHD_SERVICE AND NOT TARGET periphd_simcameras)
  add_library(periphd_simcameras STATIC
    ${CMAKE_CURRENT_LIST_DIR}/SimulatedCameras.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SimulatedCameras.h)
  target_include_directories(periphd_simcameras PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(periphd_simcameras PUBLIC periphd_camera Qt5::Gui)
endif()
