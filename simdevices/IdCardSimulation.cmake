# The identity card readers of the simulated run, each holding a sample card
# (the reader models with the records built by periphd_idcard_records).
if(PERIPHD_SERVICE AND NOT TARGET periphd_idcard_simulation)
  add_library(periphd_idcard_simulation STATIC
    ${CMAKE_CURRENT_LIST_DIR}/IdCardSimulation.cpp
    ${CMAKE_CURRENT_LIST_DIR}/IdCardSimulation.h)
  target_include_directories(periphd_idcard_simulation PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  # Targets defined by the other parts of this folder; names resolve at generation.
  target_link_libraries(periphd_idcard_simulation PUBLIC periphd_simreaders periphd_idcard_records periphd_simdevices)
endif()
