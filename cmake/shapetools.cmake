# shapetools_add_library(NAME SOURCES... [LIBRARIES ...])
# One static library per folder; headers are included as "folder/folder.h".
function(shapetools_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_LIBRARIES})
endfunction()

# shapetools_add_program(NAME SOURCES... [LIBRARIES ...])
# Programs land directly in the top of the build folder (build/egatiles, ...).
function(shapetools_add_program name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
  install(TARGETS ${name} RUNTIME DESTINATION bin)
endfunction()

# shapetools_add_test(NAME SOURCES... [LIBRARIES ...] [PROGRAMS ...])
# One GoogleTest executable per folder. PROGRAMS are built first so the
# end-to-end tests can run them.
function(shapetools_add_test name)
  if(NOT SHAPETOOLS_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES;PROGRAMS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE shapetools_testing ${ARG_LIBRARIES} GTest::gtest_main)
  if(ARG_PROGRAMS)
    add_dependencies(${name} ${ARG_PROGRAMS})
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST)
endfunction()
