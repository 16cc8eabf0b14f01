# The spectrum calculation as literal loops: the yardstick for the tests and the benchmark, never
# part of the program. Included by both, so that either builds without the other.
if(NOT TARGET mirelo_reference_spectrum)
  add_library(mirelo_reference_spectrum STATIC
    ${CMAKE_CURRENT_LIST_DIR}/reference_spectrum.cpp
    ${CMAKE_CURRENT_LIST_DIR}/reference_spectrum.h)
  mirelo_expose(mirelo_reference_spectrum tests/spectrum)
  target_link_libraries(mirelo_reference_spectrum PUBLIC mirelo_spectrum mirelo_tables mirelo_options)
endif()
