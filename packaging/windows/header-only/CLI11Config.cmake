# Debian's header-only CLI11 (libcli11-dev) for the Windows build. Its own config names /usr/include,
# which must not reach a MinGW compile (glibc's headers would shadow MinGW's), so only CLI11's folder
# is linked into the build tree and exposed. build.sh points CLI11_DIR here.
include("${CMAKE_CURRENT_LIST_DIR}/header_only.cmake")
mirelo_header_only(CLI11::CLI11 CLI)
