# The records the simulated identity cards hold, built from the holder's
# fields, with a stock portrait made by the project's WLT encoder
# (tests/support/wltenc: `wltenc_tool OUTDIR idphoto`, committed as
# data/stock-portrait.wlt so that a service built without the tests has it).
if(PERIPHD_SERVICE AND NOT TARGET periphd_idcard_records)
  set(stock_portrait ${CMAKE_CURRENT_LIST_DIR}/data/stock-portrait.wlt)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${stock_portrait})
  file(READ ${stock_portrait} bytes HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${bytes}")
  set(generated ${CMAKE_CURRENT_BINARY_DIR}/StockPortraitData.cpp)
  file(CONFIGURE OUTPUT ${generated} CONTENT
    "// Generated from simdevices/data/stock-portrait.wlt.\nextern const unsigned char periphdStockPortrait[] = {${bytes}};\nextern const unsigned long periphdStockPortraitSize = sizeof(periphdStockPortrait);\n")

  add_library(periphd_idcard_records STATIC
    ${CMAKE_CURRENT_LIST_DIR}/IdCardRecords.cpp
    ${CMAKE_CURRENT_LIST_DIR}/IdCardRecords.h
    ${generated})
  target_include_directories(periphd_idcard_records PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(periphd_idcard_records PUBLIC periphd_idcard Qt5::Core)
endif()
