# Checks that the README names the version, and only the current one, in
# "version X.Y" and in the archive names "shapetools-X.Y-...".
#   cmake -DREADME=README.md -DVERSION=1.0 -P check_readme_version.cmake
cmake_minimum_required(VERSION 3.22)

file(READ ${README} text)
string(REGEX MATCHALL "(version |shapetools-)[0-9]+(\\.[0-9]+)+" named "${text}")
if(NOT named)
  message(FATAL_ERROR "${README} names no version (expected 'version ${VERSION}')")
endif()
set(stale "")
foreach(mention IN LISTS named)
  string(REGEX REPLACE "^(version |shapetools-)" "" version "${mention}")
  if(NOT version STREQUAL VERSION)
    list(APPEND stale "'${mention}'")
  endif()
endforeach()
if(stale)
  list(JOIN stale ", " stale)
  message(FATAL_ERROR "${README} names ${stale}; the project is version ${VERSION}")
endif()
list(LENGTH named count)
message(STATUS "${README}: all ${count} mentions name version ${VERSION}")
