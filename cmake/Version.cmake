# The version is written once, in project(VERSION); this header carries it
# to the code, the Windows resources and the tests.
configure_file(${CMAKE_CURRENT_LIST_DIR}/fencat_version.h.in
               ${PROJECT_BINARY_DIR}/generated/fencat_version.h @ONLY)
include_directories(${PROJECT_BINARY_DIR}/generated)
if(WIN32)
  # The resources (compiled in app/, added later) read the header too.
  cmake_language(DEFER CALL set_property SOURCE ${PROJECT_SOURCE_DIR}/res/TolvarFencat.rc
                 DIRECTORY ${PROJECT_SOURCE_DIR}/app APPEND PROPERTY OBJECT_DEPENDS
                 ${PROJECT_BINARY_DIR}/generated/fencat_version.h)
endif()
