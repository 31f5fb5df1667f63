# Run by ctest before the tests (see CMakeLists.txt): asks the window tests'
# program for its functions and adds each as a test of its own, listing
# again only when the program or the settings are newer than the list.
#   TESTS_FILE PROGRAM PREFIX LAUNCHER TIMEOUT ENVIRONMENT
if(NOT EXISTS "${TESTS_FILE}" OR "${PROGRAM}" IS_NEWER_THAN "${TESTS_FILE}" OR
   "${CMAKE_CURRENT_LIST_FILE}" IS_NEWER_THAN "${TESTS_FILE}" OR "${CMAKE_PARENT_LIST_FILE}" IS_NEWER_THAN "${TESTS_FILE}")
  execute_process(COMMAND env ${ENVIRONMENT} "${PROGRAM}" --list
                  OUTPUT_VARIABLE listed ERROR_VARIABLE errors RESULT_VARIABLE status TIMEOUT 60)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} --list failed (${status}):\n${listed}${errors}")
  endif()
  string(REPLACE "\n" ";" functions "${listed}")
  set(content "")
  foreach(function IN LISTS functions)
    if(function STREQUAL "")
      continue()
    endif()
    string(REPLACE "." ";" parts "${function}")
    list(GET parts 0 class)
    list(GET parts 1 name)
    string(APPEND content
      "add_test([==[${PREFIX}.${function}]==] ${LAUNCHER} [==[${PROGRAM}]==] ${class} ${name})\n"
      "set_tests_properties([==[${PREFIX}.${function}]==] PROPERTIES TIMEOUT ${TIMEOUT} LABELS ${PREFIX} "
      "ENVIRONMENT [==[${ENVIRONMENT}]==])\n")
  endforeach()
  file(WRITE "${TESTS_FILE}" "${content}")
endif()
include("${TESTS_FILE}")
