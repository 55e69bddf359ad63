# updater_test(NAME SOURCES file.cc... LIBS lib... [LABELS label...])
# Declares one GoogleTest executable and registers its cases with CTest,
# labelled as given: "threads" marks the suites whose code starts threads,
# which scripts/test.sh runs again under ThreadSanitizer (ctest -L threads).
# Tests find their helper scripts and data through UPDATER_SOURCE_DIR and
# the built programs through UPDATER_BINARY_DIR.
function(updater_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    UPDATER_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    UPDATER_BINARY_DIR="${PROJECT_BINARY_DIR}")
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  set(properties TIMEOUT ${ARG_TIMEOUT})
  if(ARG_LABELS)
    list(APPEND properties LABELS ${ARG_LABELS})
  endif()
  if(CMAKE_CROSSCOMPILING)
    # One test per executable: discovering the cases would start Wine for
    # each suite at build time.
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES ${properties})
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${properties})
  endif()
endfunction()
