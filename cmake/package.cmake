# Installation beside the programs' own rules, and the Debian packages
# (make deb): kta310 holds what a technician uses; kta310-devsim the device
# simulator, which belongs on test machines only, since on a real network it
# would answer other people's probes as fake devices.
include(GNUInstallDirs)

# Manual pages, compressed as Debian keeps them.
set(man_dir ${PROJECT_BINARY_DIR}/man)
set(man_pages)
foreach(page kta-probe kta-scan kta-devsim)
  add_custom_command(OUTPUT ${man_dir}/${page}.1.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${man_dir}
    COMMAND sh -c "gzip -9n -c '${PROJECT_SOURCE_DIR}/res/${page}.1' > '${man_dir}/${page}.1.gz'"
    DEPENDS ${PROJECT_SOURCE_DIR}/res/${page}.1 VERBATIM)
  list(APPEND man_pages ${man_dir}/${page}.1.gz)
endforeach()
add_custom_target(manual_pages ALL DEPENDS ${man_pages})
add_custom_command(OUTPUT ${man_dir}/changelog.gz
  COMMAND sh -c "gzip -9n -c '${PROJECT_SOURCE_DIR}/res/deb/changelog' > '${man_dir}/changelog.gz'"
  DEPENDS ${PROJECT_SOURCE_DIR}/res/deb/changelog VERBATIM)
add_custom_target(deb_changelog ALL DEPENDS ${man_dir}/changelog.gz)

# Where the metadata points software centres for a picture of the window
# (docs/screenshot.png); the default is a placeholder on the maintainer's
# domain until the picture has a public address.
set(KTA_SCREENSHOT_URL "https://kta310.corvane.example/screenshot.png" CACHE STRING
    "The public address of docs/screenshot.png, for the AppStream metadata")
configure_file(${PROJECT_SOURCE_DIR}/res/example.corvane.kta310.metainfo.xml.in
               ${PROJECT_BINARY_DIR}/res/example.corvane.kta310.metainfo.xml @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/res/example.corvane.kta310.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT probe)
install(FILES ${PROJECT_SOURCE_DIR}/res/kta-scan.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME kta-scan
        COMPONENT probe)

install(FILES ${man_dir}/kta-probe.1.gz ${man_dir}/kta-scan.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT probe)
install(FILES ${man_dir}/kta-devsim.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT devsim)
foreach(component probe devsim)
  set(package kta310)
  if(component STREQUAL devsim)
    set(package kta310-devsim)
  endif()
  install(FILES ${PROJECT_SOURCE_DIR}/res/deb/copyright ${man_dir}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kta310)
set(CPACK_PACKAGE_VENDOR Corvane)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL probe devsim)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Corvane <kta310@corvane.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PROBE_PACKAGE_NAME kta310)
# A double-click opens the device's page through xdg-open where BROWSER names
# none, then through sensible-browser, which every Debian system has; kta-scan
# names the makers of hardware addresses from ieee-data's registry.
set(CPACK_DEBIAN_PROBE_PACKAGE_RECOMMENDS "xdg-utils, ieee-data")
set(CPACK_DEBIAN_PROBE_PACKAGE_DEPENDS sensible-utils)
set(CPACK_DEBIAN_DEVSIM_PACKAGE_NAME kta310-devsim)
# Each description's first line is its package's synopsis; CPack would put
# the one summary of both packages before it unless that is its default.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${CPACK_PACKAGE_NAME} built using CMake")
set(CPACK_DEBIAN_PROBE_DESCRIPTION "find Corvane KTA-310 devices and open their web pages
kta-probe is a small window that finds KTA-310 devices on the local IPv4
network with a one-byte UDP broadcast, lists every device that answers and
opens a device's web page on a double-click. kta-scan does the same from
the command line: it lists the devices with their hardware addresses and
makers, checks each one's web page and title, and watches devices come and
go, in columns, JSON or CSV.")
set(CPACK_DEBIAN_DEVSIM_DESCRIPTION "simulated Corvane KTA-310 devices for tests
kta-devsim answers KTA-310 discovery probes from many local addresses and
serves a small web page for each, with options to misbehave and to come and
go. It is meant for a private network namespace on a test machine: on a real
network it would answer other people's probes as devices that are not there.")
include(CPack)
