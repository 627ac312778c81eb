# What `cmake --install` adds besides the programs, and the release archive
# that `cpack` makes in a build folder:
#   Linux and other Unix: shapetools-VERSION-SYSTEM-CPU.tar.gz with bin/,
#     share/man/man1/ and share/doc/shapetools/README.md;
#   Windows (MinGW-w64): shapetools-VERSION-win64.zip with the .exe files and
#     README.txt, the README with CR LF line ends for Notepad and friends.
if(WIN32)
  file(READ ${PROJECT_SOURCE_DIR}/README.md readme)
  string(REPLACE "\r\n" "\n" readme "${readme}")
  string(REPLACE "\n" "\r\n" readme "${readme}")
  file(WRITE ${PROJECT_BINARY_DIR}/README.txt "${readme}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/README.md)
  install(FILES ${PROJECT_BINARY_DIR}/README.txt DESTINATION .)
  math(EXPR pointer_bits "8 * ${CMAKE_SIZEOF_VOID_P}")
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME shapetools-${PROJECT_VERSION}-win${pointer_bits})
else()
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
  set(CPACK_GENERATOR TGZ)
  set(CPACK_PACKAGE_FILE_NAME
      shapetools-${PROJECT_VERSION}-${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR})
endif()

set(CPACK_PACKAGE_NAME shapetools)
set(CPACK_PACKAGE_VENDOR shapetools)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Tile sheet extractors and patch tools for old game disk images")
# The archives hold programs, not their debugging information.
set(CPACK_STRIP_FILES ON)
include(CPack)

if(SHAPETOOLS_TESTS)
  add_test(NAME readme_version
           COMMAND ${CMAKE_COMMAND} -DREADME=${PROJECT_SOURCE_DIR}/README.md
                   -DVERSION=${PROJECT_VERSION}
                   -P ${PROJECT_SOURCE_DIR}/cmake/check_readme_version.cmake)
endif()
