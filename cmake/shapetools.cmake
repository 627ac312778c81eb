# shapetools_add_library(NAME SOURCES... [LIBRARIES ...])
# One static library per folder; headers are included as "folder/folder.h".
function(shapetools_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_LIBRARIES})
endfunction()

# Where `cmake --install` and the release archives put the programs: the
# usual bin/ of a Unix tree, or the top of one flat folder on Windows.
if(WIN32)
  set(SHAPETOOLS_PROGRAM_DESTINATION .)
else()
  set(SHAPETOOLS_PROGRAM_DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

# shapetools_add_program(NAME SOURCES... [LIBRARIES ...])
# Programs land directly in the top of the build folder (build/egatiles, ...).
function(shapetools_add_program name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
  install(TARGETS ${name} RUNTIME DESTINATION ${SHAPETOOLS_PROGRAM_DESTINATION})
endfunction()

# shapetools_add_test(NAME SOURCES... [LIBRARIES ...] [PROGRAMS ...])
# One GoogleTest executable per folder. PROGRAMS are built first so the
# end-to-end tests can run them; such tests carry the label "programs", which
# selects them for a run against other builds of the programs.
function(shapetools_add_test name)
  if(NOT SHAPETOOLS_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES;PROGRAMS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE shapetools_testing ${ARG_LIBRARIES} GTest::gtest_main)
  set(labels)
  if(ARG_PROGRAMS)
    add_dependencies(${name} ${ARG_PROGRAMS})
    set(labels programs)
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST PROPERTIES LABELS "${labels}")
endfunction()
