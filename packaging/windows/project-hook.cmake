# Included right after project(Mirelo) in the Windows build only (CMAKE_PROJECT_Mirelo_INCLUDE, set by
# build.sh), so that the Windows specifics stay with the Windows packaging.

# The dose reports and the register, as on Linux: DCMTK cross-built by build.sh (DCMTK_DIR), toml++
# header-only (tomlplusplus_DIR), and SQLite compiled here from the amalgamation build.sh generates
# from Debian's source (MIRELO_SQLITE_AMALGAMATION).
set(MIRELO_RDSR ON)
if(NOT EXISTS "${MIRELO_SQLITE_AMALGAMATION}/sqlite3.c")
  message(FATAL_ERROR "MIRELO_SQLITE_AMALGAMATION (${MIRELO_SQLITE_AMALGAMATION}) holds no sqlite3.c: run build.sh")
endif()
enable_language(C)
add_library(mirelo_sqlite3 STATIC "${MIRELO_SQLITE_AMALGAMATION}/sqlite3.c")
target_include_directories(mirelo_sqlite3 SYSTEM PUBLIC "${MIRELO_SQLITE_AMALGAMATION}")
# The options of Debian's own build that change what SQL does or allows.
target_compile_definitions(mirelo_sqlite3 PRIVATE
  SQLITE_THREADSAFE=1 SQLITE_SECURE_DELETE SQLITE_USE_URI=1 SQLITE_LIKE_DOESNT_MATCH_BLOBS
  SQLITE_MAX_SCHEMA_RETRY=25 SQLITE_MAX_VARIABLE_NUMBER=250000 SQLITE_ALLOW_ROWID_IN_VIEW)
add_library(SQLite::SQLite3 ALIAS mirelo_sqlite3)
# find_package(SQLite3) then finds this one and keeps the target above.
set(SQLite3_INCLUDE_DIR "${MIRELO_SQLITE_AMALGAMATION}" CACHE PATH "SQLite's amalgamation" FORCE)
set(SQLite3_LIBRARY mirelo_sqlite3 CACHE STRING "SQLite, compiled with the program" FORCE)

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
