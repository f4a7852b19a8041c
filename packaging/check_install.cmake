# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the build into a scratch prefix and checks it as a desktop and `man` would read it:
# the file manager's MIME cache offers the player for every playlist type, and the manual pages
# format without a warning.
#   cmake -DBUILD_DIR=... -DWORK_DIR=... -DUPDATE_DESKTOP_DATABASE=... -DMAN=... -P check_install.cmake
file(REMOVE_RECURSE ${WORK_DIR})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${WORK_DIR}
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${rc}")
endif()

execute_process(COMMAND ${UPDATE_DESKTOP_DATABASE} ${WORK_DIR}/share/applications
                RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR err)
  message(FATAL_ERROR "update-desktop-database: ${rc} ${err}")
endif()
file(STRINGS ${WORK_DIR}/share/applications/mimeinfo.cache cache)
foreach(type audio/x-scpls audio/x-mpegurl audio/mpegurl application/vnd.apple.mpegurl
             application/xspf+xml video/x-ms-asf)
  set(found FALSE)
  foreach(line ${cache})
    # Plain text, not a pattern: the types hold '+' and '.'.
    string(FIND "${line}" "${type}=" at)
    string(FIND "${line}" "=velmora.desktop;" first)
    string(FIND "${line}" ";velmora.desktop;" later)
    if(at EQUAL 0 AND (first GREATER -1 OR later GREATER -1))
      set(found TRUE)
    endif()
  endforeach()
  if(NOT found)
    message(SEND_ERROR "the MIME cache does not offer velmora.desktop for ${type}")
  endif()
endforeach()

foreach(page velmora velmora-probe)
  set(path ${WORK_DIR}/share/man/man1/${page}.1.gz)
  if(NOT EXISTS ${path})
    message(SEND_ERROR "${page}.1.gz is not installed")
    continue()
  endif()
  # The page must name its program and format cleanly at a terminal's width.
  execute_process(COMMAND env LC_ALL=C.UTF-8 MANWIDTH=80 ${MAN} --warnings -l ${path}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE text ERROR_VARIABLE warnings)
  if(NOT rc EQUAL 0 OR warnings)
    message(SEND_ERROR "man ${page}: ${rc} ${warnings}")
  elseif(NOT text MATCHES "NAME[\n ]+${page} ")
    message(SEND_ERROR "man ${page}: no NAME section for ${page}")
  endif()
endforeach()
