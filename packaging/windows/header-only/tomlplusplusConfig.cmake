# Debian's toml++ (libtomlplusplus-dev) for the Windows build, header-only (its Linux library is not
# for Windows), exposed as CLI11Config.cmake beside it explains. build.sh points tomlplusplus_DIR here.
include("${CMAKE_CURRENT_LIST_DIR}/header_only.cmake")
mirelo_header_only(tomlplusplus::tomlplusplus toml++)
set_property(TARGET tomlplusplus::tomlplusplus APPEND PROPERTY INTERFACE_COMPILE_DEFINITIONS TOML_HEADER_ONLY=1)
