# Debian's header-only nlohmann-json (nlohmann-json3-dev) for the Windows build, exposed as
# CLI11Config.cmake beside it explains. build.sh points nlohmann_json_DIR here.
include("${CMAKE_CURRENT_LIST_DIR}/header_only.cmake")
mirelo_header_only(nlohmann_json::nlohmann_json nlohmann)
