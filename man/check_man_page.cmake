# Checks one manual page against its program.
#
#   cmake -DPAGE=man/x68ktiles.1 -DCHECK=renders -P check_man_page.cmake
#   cmake -DPAGE=man/x68ktiles.1 -DCHECK=options -DPROGRAM=build/x68ktiles
#         -DWORK_DIR=scratch-folder -P check_man_page.cmake
#
# renders: the page formats without a single warning, with groff
#   (-man -Tutf8 -ww -z) and with mandoc (-T lint), whichever are there;
#   "SKIPPED:" when neither is.
# options: the page's title and SYNOPSIS are the program's usage line; the
#   options listed under OPTIONS are exactly those of the program's --help
#   text plus --version, and any other listed option is one the program
#   accepts; every option named anywhere in the page is a listed one.
cmake_minimum_required(VERSION 3.22)

foreach(variable PAGE CHECK)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "check_man_page.cmake: -D${variable}=... is missing")
  endif()
endforeach()

if(CHECK STREQUAL "renders")
  find_program(GROFF groff)
  find_program(MANDOC mandoc)
  if(NOT GROFF AND NOT MANDOC)
    message(STATUS "SKIPPED: neither groff nor mandoc is installed (Debian: groff-base or mandoc)")
    return()
  endif()
  if(GROFF)
    execute_process(COMMAND ${GROFF} -man -Tutf8 -ww -z ${PAGE}
                    RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT status EQUAL 0 OR NOT output STREQUAL "")
      message(FATAL_ERROR "groff on ${PAGE} (status ${status}):\n${output}")
    endif()
    message(STATUS "groff: no warnings")
  endif()
  if(MANDOC)
    execute_process(COMMAND ${MANDOC} -T lint -W warning ${PAGE}
                    RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT status EQUAL 0 OR NOT output STREQUAL "")
      message(FATAL_ERROR "mandoc on ${PAGE} (status ${status}):\n${output}")
    endif()
    message(STATUS "mandoc: no warnings")
  endif()
  return()
endif()

if(NOT CHECK STREQUAL "options")
  message(FATAL_ERROR "check_man_page.cmake: CHECK is renders or options, not '${CHECK}'")
endif()
foreach(variable PROGRAM WORK_DIR)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "check_man_page.cmake: -D${variable}=... is missing")
  endif()
endforeach()

set(failures "")
macro(fail text)
  string(APPEND failures "  ${text}\n")
endmacro()

# Runs the program with one argument in an empty folder, no input; sets
# `output`.
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
file(WRITE ${WORK_DIR}.input "")
function(run_program argument)
  execute_process(COMMAND ${PROGRAM} ${argument} WORKING_DIRECTORY ${WORK_DIR}
                  INPUT_FILE ${WORK_DIR}.input OUTPUT_VARIABLE text ERROR_VARIABLE text)
  string(REPLACE "\r" "" text "${text}")
  set(output "${text}" PARENT_SCOPE)
endfunction()

# The page's lines as a list. CMake lists split at ";" except inside
# brackets, so both are stood in for until a line's text is taken.
file(READ ${PAGE} page_text)
string(REPLACE ";" "<semicolon>" encoded "${page_text}")
string(REPLACE "[" "<open>" encoded "${encoded}")
string(REPLACE "]" "<close>" encoded "${encoded}")
string(REPLACE "\n" ";" page_lines "${encoded}")

# The text a line of the page shows, for the synopsis and the option tags:
# font changes dropped, \- as a dash; .B and .I join their words with
# blanks, the alternating macros (.BI, .RI, ...) without.
function(shown_text line result)
  string(REPLACE "\\-" "-" line "${line}")
  string(REGEX REPLACE "\\\\f[BIRP]" "" line "${line}")
  string(REPLACE "\\&" "" line "${line}")
  string(REPLACE "\\%" "" line "${line}")
  if(line MATCHES "^\\.(B|I|BI|IB|BR|RB|IR|RI)( (.*))?$")
    set(macro ${CMAKE_MATCH_1})
    separate_arguments(words UNIX_COMMAND "${CMAKE_MATCH_3}")
    if(macro STREQUAL "B" OR macro STREQUAL "I")
      list(JOIN words " " line)
    else()
      list(JOIN words "" line)
    endif()
  elseif(line MATCHES "^\\.")
    set(line "")
  endif()
  string(REPLACE "<semicolon>" ";" line "${line}")
  string(REPLACE "<open>" "[" line "${line}")
  string(REPLACE "<close>" "]" line "${line}")
  set(${result} "${line}" PARENT_SCOPE)
endfunction()

# The usage line, as the program prints it.
run_program(--help)
string(REGEX MATCH "^usage: ([^\n]*)" usage_line "${output}")
if(NOT usage_line)
  message(FATAL_ERROR "${PROGRAM} --help printed no usage line:\n${output}")
endif()
set(usage "${CMAKE_MATCH_1}")
string(REGEX MATCH "^[^ ]+" name "${usage}")
string(TOUPPER "${name}" title)
if(NOT page_text MATCHES "(^|\n)\\.TH ${title} 1 ")
  fail("the title is not '.TH ${title} 1 ...'")
endif()

# Options of the usage text: "--name" and, after one blank, a value name in
# capitals ("--disk DISK-IMG").
string(REGEX MATCHALL "--[a-z0-9][a-z0-9-]*( [A-Z][A-Z0-9.-]*)?" usage_options "${output}")
list(APPEND usage_options --version)
list(REMOVE_DUPLICATES usage_options)

# The SYNOPSIS and the tags of the OPTIONS list.
set(section "")
set(synopsis "")
set(tags "")
set(tag_next FALSE)
foreach(line IN LISTS page_lines)
  if(line MATCHES "^\\.SH +\"?([^\"]*)\"?$")
    set(section "${CMAKE_MATCH_1}")
    continue()
  endif()
  if(section STREQUAL "SYNOPSIS")
    shown_text("${line}" text)
    string(APPEND synopsis " ${text}")
  elseif(section STREQUAL "OPTIONS")
    if(line MATCHES "^\\.TP")
      set(tag_next TRUE)
    elseif(tag_next)
      shown_text("${line}" text)
      list(APPEND tags "${text}")
      set(tag_next FALSE)
    endif()
  endif()
endforeach()
string(REGEX REPLACE "  +" " " synopsis "${synopsis}")
string(STRIP "${synopsis}" synopsis)
if(NOT synopsis STREQUAL usage)
  fail("SYNOPSIS reads '${synopsis}', the usage line '${usage}'")
endif()

foreach(option IN LISTS usage_options)
  if(NOT option IN_LIST tags)
    fail("option '${option}' of the program is not listed under OPTIONS")
  endif()
endforeach()
set(tag_names "")
foreach(tag IN LISTS tags)
  string(REGEX MATCH "^--[a-z0-9-]+" tag_name "${tag}")
  if(NOT tag_name)
    fail("OPTIONS lists '${tag}', which is not an option")
    continue()
  endif()
  list(APPEND tag_names ${tag_name})
  if(tag IN_LIST usage_options)
    continue()
  endif()
  # Not in the usage text: the program must still take it.
  run_program(${tag_name})
  if(output STREQUAL "" OR output MATCHES "unknown option")
    fail("OPTIONS lists '${tag}', which the program does not accept: ${output}")
  endif()
endforeach()

# Every option named anywhere in the page is one of the listed ones.
string(REPLACE "\\-" "-" dashes "${page_text}")
string(REGEX MATCHALL "--[a-z0-9][a-z0-9-]*" named "${dashes}")
list(REMOVE_DUPLICATES named)
foreach(option IN LISTS named)
  if(NOT option IN_LIST tag_names)
    fail("the page names '${option}', which OPTIONS does not list")
  endif()
endforeach()

if(failures)
  message(FATAL_ERROR "${PAGE} does not match ${PROGRAM}:\n${failures}")
endif()
list(LENGTH tags count)
message(STATUS "${PAGE}: synopsis and ${count} options match ${name}")
