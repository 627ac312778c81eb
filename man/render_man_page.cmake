# Renders one manual page as plain text with CR LF line ends, for the
# Windows zip, which has no man:
#   cmake -DPAGE=man/x68ktiles.1 -DOUTPUT=x68ktiles.txt -DGROFF=/usr/bin/groff
#         [-DMANDOC=/usr/bin/mandoc] -P render_man_page.cmake
# With groff: ASCII without bold, underline or colour sequences; with
# mandoc alone: its ASCII output less the overstrikes it marks bold with.
cmake_minimum_required(VERSION 3.22)

if(GROFF)
  execute_process(COMMAND ${GROFF} -man -Tascii -P-cbou ${PAGE}
                  RESULT_VARIABLE status OUTPUT_VARIABLE text ERROR_VARIABLE errors)
elseif(MANDOC)
  execute_process(COMMAND ${MANDOC} -T ascii ${PAGE}
                  RESULT_VARIABLE status OUTPUT_VARIABLE text ERROR_VARIABLE errors)
  string(ASCII 8 backspace)
  string(REGEX REPLACE ".${backspace}" "" text "${text}")
else()
  message(FATAL_ERROR "render_man_page.cmake: give -DGROFF=... or -DMANDOC=...")
endif()
if(NOT status EQUAL 0 OR text STREQUAL "")
  message(FATAL_ERROR "rendering ${PAGE} failed (status ${status}):\n${errors}")
endif()
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${OUTPUT} "${text}")
