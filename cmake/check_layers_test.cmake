# SPDX-License-Identifier: GPL-3.0-or-later
# The layering check itself, on small trees written here: each row is a file and an include, and
# whether check_layers.cmake (with which rule) must refuse it.
#   cmake -DWORK_DIR=<scratch folder> -P check_layers_test.cmake
cmake_minimum_required(VERSION 3.25)
if(NOT WORK_DIR)
  message(FATAL_ERROR "WORK_DIR is not set")
endif()
set(check ${CMAKE_CURRENT_LIST_DIR}/check_layers.cmake)

# file | included header | rule | expected: pass or fail
set(rows
  "src/channels/a.cpp|channels/b.h|folders|pass"
  "src/channels/a.cpp|desktop/dialogs.h|folders|pass"
  "src/channels/a.cpp|app/dialogs.h|folders|fail"
  "src/i18n/a.cpp|desktop/program_files.h|folders|fail"
  "src/playback/proxy_panel.cpp|engine/engine.h|folders|pass"
  "src/playback/proxy_panel.cpp|opening/stream_opener.h|folders|pass"
  "src/opening/stream_opener.cpp|playback/proxy_panel.h|folders|fail"
  "src/text/server_text.h|i18n/message.h|folders|fail"
  "src/text/server_text.h|engine/engine.h|folders|fail"
  "src/channels/a.cpp|text/server_text.h|folders|pass"
  "tools/probe.cpp|opening/stream_opener.h|folders|pass"
  "tools/probe.cpp|playback/player.h|folders|fail"
  "src/engine/a.cpp|opening/stream_status.h|folders|fail"
  "src/nowhere/a.cpp|engine/engine.h|folders|fail"
  "src/app/a.cpp|nowhere/a.h|folders|fail"
  "src/app/a.h|engine/engine.h|folders|pass"
  "src/app/a.h|engine/engine.h|engine_free|fail"
  "src/channels/a.cpp|engine/playlist.h|engine_free|fail"
  "src/app/a.cpp|channels/a.h|engine_free|pass")

set(failures "")
set(n 0)
foreach(row ${rows})
  string(REPLACE "|" ";" cells "${row}")
  list(GET cells 0 file)
  list(GET cells 1 header)
  list(GET cells 2 rule)
  list(GET cells 3 expected)
  set(tree ${WORK_DIR}/tree${n})
  math(EXPR n "${n} + 1")
  file(REMOVE_RECURSE ${tree})
  # Every tree has an innocent file, so a tree is never empty.
  file(WRITE ${tree}/src/engine/engine.h "#include <cstdint>\n#include \"engine/byte_ring.h\"\n")
  file(WRITE ${tree}/${file} "// a comment: #include \"app/nothing.h\"\n#include <QString>\n"
       "  #  include \"${header}\"  // trailing\n")
  execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${tree} -DRULE=${rule} -P ${check}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(rc EQUAL 0)
    set(got pass)
  else()
    set(got fail)
    # A refusal names the file and the header.
    string(FIND "${out}" "${header}" at)
    if(at EQUAL -1 AND NOT file MATCHES "nowhere")
      string(APPEND failures "  ${row}: refused without naming ${header}:\n${out}\n")
    endif()
  endif()
  if(NOT got STREQUAL expected)
    string(APPEND failures "  ${row}: ${got}, expected ${expected}\n${out}\n")
  endif()
endforeach()
if(failures)
  message(FATAL_ERROR "The layering check judged wrongly:\n${failures}")
endif()
message(STATUS "The layering check judged ${n} trees rightly")
