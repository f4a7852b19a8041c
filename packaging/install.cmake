# SPDX-License-Identifier: GPL-3.0-or-later
# Install layout and the Debian package. The program looks for its files beside itself and then in
# ../share/velmora, so the layout below is fixed relative to the prefix.
set(VELMORA_SHARE share/velmora)

install(TARGETS velmora velmora-probe RUNTIME DESTINATION bin)
install(FILES ${DATA_FILES} DESTINATION ${VELMORA_SHARE})
if(MO_FILES)
  install(DIRECTORY ${CMAKE_BINARY_DIR}/bin/locale DESTINATION ${VELMORA_SHARE})
endif()

install(FILES ${CMAKE_CURRENT_LIST_DIR}/velmora.desktop DESTINATION share/applications)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/org.velmora.Velmora.metainfo.xml DESTINATION share/metainfo)
foreach(size 16 22 24 32 48 64 128 256)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/icons/${size}.png
          DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME velmora.png)
endforeach()
install(FILES ${CMAKE_CURRENT_LIST_DIR}/icons/velmora.svg DESTINATION share/icons/hicolor/scalable/apps)

# Manual pages and the changelog are installed gzip-compressed as Debian keeps them; -n leaves the
# name and time out, so the same sources give the same package.
find_program(GZIP gzip REQUIRED)
set(VELMORA_GZ_DIR ${CMAKE_BINARY_DIR}/packaging)
set(VELMORA_GZ_FILES)
foreach(pair man/velmora.1:velmora.1.gz man/velmora-probe.1:velmora-probe.1.gz
             debian/changelog:changelog.gz)
  string(REPLACE ":" ";" pair ${pair})
  list(GET pair 0 source)
  list(GET pair 1 output)
  add_custom_command(OUTPUT ${VELMORA_GZ_DIR}/${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${VELMORA_GZ_DIR}
    COMMAND sh -c "${GZIP} -9n -c \"$1\" > \"$2\"" sh ${CMAKE_CURRENT_LIST_DIR}/${source}
            ${VELMORA_GZ_DIR}/${output}
    DEPENDS ${CMAKE_CURRENT_LIST_DIR}/${source} VERBATIM)
  list(APPEND VELMORA_GZ_FILES ${VELMORA_GZ_DIR}/${output})
endforeach()
add_custom_target(velmora_packaging_files ALL DEPENDS ${VELMORA_GZ_FILES})
install(FILES ${VELMORA_GZ_DIR}/velmora.1.gz ${VELMORA_GZ_DIR}/velmora-probe.1.gz
        DESTINATION share/man/man1)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/debian/copyright ${VELMORA_GZ_DIR}/changelog.gz
        DESTINATION share/doc/velmora)

# The desktop entry and the AppStream data as the desktop's own tools read them.
if(VELMORA_BUILD_TESTS)
  find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
  if(DESKTOP_FILE_VALIDATE)
    add_test(NAME desktop_entry_valid
             COMMAND ${DESKTOP_FILE_VALIDATE} ${CMAKE_CURRENT_LIST_DIR}/velmora.desktop)
    set_tests_properties(desktop_entry_valid PROPERTIES FAIL_REGULAR_EXPRESSION "error|warning")
  endif()
  find_program(UPDATE_DESKTOP_DATABASE update-desktop-database)
  find_program(MAN man)
  if(UPDATE_DESKTOP_DATABASE AND MAN)
    add_test(NAME installed_desktop_files
             COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR}
             -DWORK_DIR=${CMAKE_BINARY_DIR}/install_check
             -DUPDATE_DESKTOP_DATABASE=${UPDATE_DESKTOP_DATABASE} -DMAN=${MAN}
             -P ${CMAKE_CURRENT_LIST_DIR}/check_install.cmake)
  endif()
  find_program(APPSTREAMCLI appstreamcli)
  if(APPSTREAMCLI)
    add_test(NAME metainfo_valid COMMAND ${APPSTREAMCLI} validate --no-net
             ${CMAKE_CURRENT_LIST_DIR}/org.velmora.Velmora.metainfo.xml)
  endif()
endif()

# `cmake --build build --target package` (or `make package`) builds the .deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VENDOR "Velmora")
set(CPACK_PACKAGE_CONTACT "Velmora maintainers <maintainers@velmora.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "internet radio player")
# Lines of the long description stay under 80 characters; CPack indents each one.
set(CPACK_PACKAGE_DESCRIPTION
    "Listen to internet radio stations from a built-in directory or your own\n\
channel list, see the station, bit rate and current title, watch a spectrum\n\
analyser and record streams to files.")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://www.kestrin-soft.example/")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
# The libraries linked come from dpkg-shlibdeps; the windows also need Qt's platform plugins,
# which nothing links.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "ca-certificates, xdg-utils, qt6-wayland")
include(CPack)
