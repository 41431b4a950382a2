# Runs tinklewood-import on every .mid in DIR: an ok_*.mid must become a song; any other
# must be refused with exactly one printable line naming the file. A crash, a hang (the
# test's timeout) or a sanitizer report fails either way.
# cmake -DIMPORT=path/to/tinklewood-import -DDIR=tests/midi -DOUT=scratch.song -P check_import.cmake
file(GLOB files "${DIR}/*.mid")
list(LENGTH files count)
if(count EQUAL 0)
  message(FATAL_ERROR "no .mid files in ${DIR}")
endif()
set(failures "")
foreach(path ${files})
  get_filename_component(name "${path}" NAME)
  execute_process(COMMAND "${IMPORT}" "${path}" "${OUT}"
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 60)
  if(name MATCHES "^ok_")
    if(NOT rc EQUAL 0 OR NOT err MATCHES "^melody: ")
      string(APPEND failures "${name}: exit ${rc}, expected a song:\n${err}\n")
    endif()
  else()
    string(REGEX MATCH "[^ -~\n]" unprintable "${err}")
    if(NOT rc EQUAL 1 OR NOT err MATCHES "^Error: Malformed MIDI file [^\n]*${name}: [^\n]+\n$" OR unprintable)
      string(APPEND failures "${name}: exit ${rc}, expected one line of refusal:\n${err}\n")
    endif()
  endif()
endforeach()
if(failures)
  message(FATAL_ERROR "${failures}")
endif()
message(STATUS "${count} MIDI files imported or refused cleanly")
