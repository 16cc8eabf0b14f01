# The version of Debian's nlohmann-json headers, so that find_package(nlohmann_json 3) takes the
# header-only package beside this file: same major version and at least the one asked for.
file(STRINGS "/usr/include/nlohmann/detail/abi_macros.hpp" _mirelo_json_version
     REGEX "^#define NLOHMANN_JSON_VERSION_(MAJOR|MINOR|PATCH) [0-9]+")
string(REGEX REPLACE ".*MAJOR ([0-9]+).*MINOR ([0-9]+).*PATCH ([0-9]+).*" "\\1.\\2.\\3"
       PACKAGE_VERSION "${_mirelo_json_version}")
set(PACKAGE_VERSION_COMPATIBLE FALSE)
if(PACKAGE_VERSION MATCHES "^([0-9]+)\\." AND CMAKE_MATCH_1 EQUAL PACKAGE_FIND_VERSION_MAJOR
   AND NOT PACKAGE_VERSION VERSION_LESS PACKAGE_FIND_VERSION)
  set(PACKAGE_VERSION_COMPATIBLE TRUE)
  if(PACKAGE_VERSION VERSION_EQUAL PACKAGE_FIND_VERSION)
    set(PACKAGE_VERSION_EXACT TRUE)
  endif()
endif()
