# Included right after project(Mirelo) in the Windows build only (CMAKE_PROJECT_Mirelo_INCLUDE, set by
# build.sh), so that the Windows specifics stay with the Windows packaging.

# DCMTK and toml++ have no MinGW builds among Debian's packages: the Windows mirelo-calc has no rdsr.
set(MIRELO_RDSR OFF)

# build.sh names the installer after the project's version.
file(WRITE "${PROJECT_BINARY_DIR}/mirelo-version.txt" "${PROJECT_VERSION}")

# The window program gets no console window; mirelo-calc stays a console program. Deferred to the
# end of the top-level folder, when the target exists.
function(mirelo_windows_gui_subsystem)
  if(TARGET mirelo)
    set_target_properties(mirelo PROPERTIES WIN32_EXECUTABLE ON)
  endif()
endfunction()
cmake_language(DEFER DIRECTORY "${PROJECT_SOURCE_DIR}" CALL mirelo_windows_gui_subsystem)
