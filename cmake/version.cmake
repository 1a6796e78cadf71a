# The version of project() as the module's resources and parvex-cli take it
# (generated/parvex_version.h), as the packaging script takes it
# (version.txt), and a check on every build that the files which carry it
# by hand (the INF, the guide's page snippet) say the same.
set(PARVEX_GENERATED ${CMAKE_BINARY_DIR}/generated)
string(REPLACE "." "," PARVEX_FILEVERSION "${PROJECT_VERSION}")
string(REPLACE "." ", " PARVEX_FILEVERSION_TEXT "${PROJECT_VERSION}")
configure_file(${CMAKE_SOURCE_DIR}/cmake/parvex_version.h.in ${PARVEX_GENERATED}/parvex_version.h @ONLY)
file(WRITE ${CMAKE_BINARY_DIR}/version.txt "${PROJECT_VERSION}\n")
add_custom_target(version_check ALL
  COMMAND bash ${CMAKE_SOURCE_DIR}/packaging/check_version.sh ${CMAKE_SOURCE_DIR} ${PROJECT_VERSION}
  COMMENT "every copy of the version is ${PROJECT_VERSION}"
  VERBATIM)
