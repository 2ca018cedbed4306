# SPDX-License-Identifier: MIT
# What `cmake --install` puts on a Linux desktop, and the Debian package made from it by CPack.
# Included by the top CMakeLists.txt after every target exists. Tests, benchmarks, fuzz targets
# and build tools are not installed.
include(GNUInstallDirs)

add_subdirectory(${CMAKE_CURRENT_LIST_DIR}/icon ${CMAKE_BINARY_DIR}/packaging/icon)

# The programs. The installed binaries find Qt where the system keeps it: no RPATH.
install(TARGETS trevisor quarn2-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
set_target_properties(trevisor quarn2-sim PROPERTIES INSTALL_RPATH "")
# The command-line companion may be added after this file is read, so it is looked for once
# the whole top directory has been processed.
function(trevisor_install_cli)
    if(TARGET trevisor-cli)
        install(TARGETS trevisor-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
        set_target_properties(trevisor-cli PROPERTIES INSTALL_RPATH "")
        # Its manual page, trevisor-cli(1), written by the build (src/cli/CMakeLists.txt).
        install(FILES ${CMAKE_BINARY_DIR}/man/trevisor-cli.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    endif()
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL trevisor_install_cli)

# The desktop menu entry and its icon in every size of the icon theme.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/trevisor.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(DIRECTORY ${TREVISOR_ICON_THEME_DIR} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)

# The udev rule for USB serial adapters: shipped for the administrator to copy into
# /etc/udev/rules.d, never active by itself.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/60-trevisor-serial.rules
        DESTINATION ${CMAKE_INSTALL_DATADIR}/trevisor/udev)
# A copy where the programs of a build tree find it (build/src/<folder>/../../share), so that the
# doctor's advice names a file that exists before anything is installed.
configure_file(${CMAKE_CURRENT_LIST_DIR}/60-trevisor-serial.rules
               ${CMAKE_BINARY_DIR}/share/trevisor/udev/60-trevisor-serial.rules COPYONLY)

# Debian package.
set(CPACK_PACKAGE_NAME trevisor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Trevisor developers")
set(CPACK_PACKAGE_CONTACT "Trevisor developers <trevisor@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Commissioning tool for Quarn-2 absolute rotary encoders")
set(CPACK_PACKAGE_DESCRIPTION
    "Trevisor finds a Quarn-2 absolute rotary encoder on a serial (UART) port, usually a USB
serial adapter, identifies it and shows its position, status, speed, temperature and signal
level. It sends the encoder's configuration commands, runs its self-calibration, and reads,
charts and records its debug data. Includes trevisor-cli, the command-line companion, and
quarn2-sim, a simulated encoder on a pseudo-terminal.")
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The Qt 6 runtime libraries, with libc and libstdc++, come from dpkg-shlibdeps with the
# versions the binaries need; the platform plugins (xcb for the desktop, offscreen for tests)
# are loaded at run time, so no binary names them. Without dpkg-shlibdeps the Qt libraries are
# listed by name.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
find_program(TREVISOR_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(TREVISOR_DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
    string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS
           ", libqt6core6, libqt6gui6, libqt6widgets6, libqt6serialport6, libqt6charts6, libxcb1")
endif()
# The window's fixed boxes are sized for narrow faces: without DejaVu Sans Condensed the wide
# DejaVu Sans takes its place and longer texts wrap out of their boxes.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-extra")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "udev")
set(CPACK_STRIP_FILES ON)
include(CPack)
