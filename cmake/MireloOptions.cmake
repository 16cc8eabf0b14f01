# One interface target carries warnings, defines and sanitizer flags for every target of ours;
# mirelo_instrument, the sanitizer and fuzzer flags alone, is also for code kept as its authors wrote it.
add_library(mirelo_instrument INTERFACE)
add_library(mirelo_options INTERFACE)
target_link_libraries(mirelo_options INTERFACE mirelo_instrument)
target_compile_options(mirelo_options INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion
  -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Woverloaded-virtual
  $<$<BOOL:${MIRELO_WERROR}>:-Werror>)
target_compile_definitions(mirelo_options INTERFACE
  QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_URL_CAST_FROM_STRING
  QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)
if(MIRELO_SANITIZE)
  target_compile_options(mirelo_instrument INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(mirelo_instrument INTERFACE -fsanitize=address,undefined)
endif()
if(MIRELO_FUZZ)
  # Coverage instrumentation for every library the fuzz targets reach.
  target_compile_options(mirelo_instrument INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(mirelo_instrument INTERFACE -fsanitize=address,undefined)
endif()
