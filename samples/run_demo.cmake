# Runs every program on freshly made sample images and checks that patching
# the unedited sheets gives back the original disk images byte for byte.
#
#   cmake -DMAKE_SAMPLES=... -DEGATILES=... -DA2TILES=... -DPC98TILES=...
#         -DPC98TILEPATCH=... -DX68KTILES=... -DX68KTILEPATCH=...
#         -DDEMO_DIR=folder -P run_demo.cmake
#
# DEMO_DIR is emptied first: the PC-98 and X68000 programs ask before they
# replace a file, and an empty folder means they never ask. Their standard
# input is an empty file all the same, so a question could only be refused,
# never waited on.
cmake_minimum_required(VERSION 3.22)

foreach(variable MAKE_SAMPLES EGATILES A2TILES PC98TILES PC98TILEPATCH X68KTILES X68KTILEPATCH DEMO_DIR)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "run_demo.cmake: -D${variable}=... is missing")
  endif()
endforeach()

file(REMOVE_RECURSE "${DEMO_DIR}")
file(MAKE_DIRECTORY "${DEMO_DIR}")
set(no_input "${DEMO_DIR}-input.txt")
file(WRITE "${no_input}" "")

# Runs a program in DEMO_DIR, shows its command line and output, and stops
# the demo when it fails.
function(run_step program)
  get_filename_component(name "${program}" NAME_WE)
  string(JOIN " " shown ${name} ${ARGN})
  execute_process(COMMAND "${program}" ${ARGN}
                  WORKING_DIRECTORY "${DEMO_DIR}"
                  INPUT_FILE "${no_input}"
                  OUTPUT_VARIABLE output
                  ERROR_VARIABLE output
                  RESULT_VARIABLE status)
  string(STRIP "${output}" output)
  if(output)
    message("> ${shown}\n${output}")
  else()
    message("> ${shown}")
  endif()
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "demo failed: '${shown}' ended with status ${status}")
  endif()
endfunction()

# Stops the demo unless the two files in DEMO_DIR are byte for byte equal.
function(check_same original patched)
  file(SHA256 "${DEMO_DIR}/${original}" original_hash)
  file(SHA256 "${DEMO_DIR}/${patched}" patched_hash)
  if(NOT original_hash STREQUAL patched_hash)
    message(FATAL_ERROR "demo failed: ${patched} differs from ${original}")
  endif()
  message("${patched} is identical to ${original}")
endfunction()

run_step("${MAKE_SAMPLES}" .)

run_step("${EGATILES}" SHAPES.EGA ega.bmp)

run_step("${A2TILES}" a2tiles.bmp)
run_step("${A2TILES}" --2 --half-shift a2tiles-double.bmp)
run_step("${A2TILES}" --ega --2 --dither2 a2tiles-ega-dither.bmp)
run_step("${A2TILES}" --16 --mono a2tiles-mono.bmp)
run_step("${A2TILES}" --disk KVboot.po --po --no-white a2tiles-prodos-no-white.bmp)
run_step("${A2TILES}" --disk KVboot.woz a2tiles-woz.bmp)
check_same(a2tiles.bmp a2tiles-woz.bmp)

run_step("${PC98TILES}" pc98.bmp pc98-mask.bmp)
run_step("${X68KTILES}" x68k.bmp x68k-mask.bmp)

run_step("${PC98TILEPATCH}" pc98.bmp pc98-mask.bmp)
run_step("${X68KTILEPATCH}" x68k.bmp x68k-mask.bmp)
check_same(KV_Mirath.fdi KV_Mirath.NEW.fdi)
check_same(KV_Thalwynd.fdi KV_Thalwynd.NEW.fdi)
check_same(kv-mirath.xdf kv-mirath.NEW.xdf)

# The X68000 disk as a DIM image: the same sheet, and patched back in its own
# container byte for byte.
run_step("${X68KTILES}" --disk kv-mirath.dim x68k-dim.bmp x68k-dim-mask.bmp)
check_same(x68k.bmp x68k-dim.bmp)
run_step("${X68KTILEPATCH}" x68k-dim.bmp x68k-dim-mask.bmp --disk kv-mirath.dim --write kv-mirath.NEW.dim)
check_same(kv-mirath.dim kv-mirath.NEW.dim)

file(GLOB sheets RELATIVE "${DEMO_DIR}" "${DEMO_DIR}/*.bmp")
list(SORT sheets)
string(JOIN "\n  " sheet_list ${sheets})
message("\nThe tile sheets are in ${DEMO_DIR}:\n  ${sheet_list}")
