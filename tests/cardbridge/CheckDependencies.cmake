# Fails unless LIBRARY needs only pcsclite and the C runtime and exports
# exactly the two plain-named call sets.
execute_process(COMMAND readelf -d ${LIBRARY} OUTPUT_VARIABLE dynamic RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "readelf failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "Shared library: \\[[^]]+\\]" needed "${dynamic}")
list(TRANSFORM needed REPLACE "Shared library: \\[([^]]+)\\]" "\\1")
list(SORT needed)
if(NOT needed STREQUAL "libc.so.6;libpcsclite.so.1")
  message(FATAL_ERROR "unexpected dependencies: ${needed}")
endif()

execute_process(COMMAND nm -D --defined-only ${LIBRARY} OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
string(REGEX MATCHALL "[0-9a-f]+ [TDB] [^\n]+" exported "${symbols}")
list(TRANSFORM exported REPLACE "^[0-9a-f]+ [TDB] " "")
list(SORT exported)
set(expected CardPowerOff CardPowerOn CloseCardReader OpenCardReader SendApduCommand
  cardPowerOff cardPowerOn chartoint closeCardReader openCardReader sendAPDUCommand)
list(SORT expected)
if(NOT exported STREQUAL expected)
  message(FATAL_ERROR "exported symbols differ: ${exported}")
endif()
message(STATUS "dependencies: ${needed}; exports: ${exported}")
