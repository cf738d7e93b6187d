# Install layout and the Debian package. The libraries and their tools install themselves from their
# own folders; this adds the programs, their data, desktop entries and icons.
include(GNUInstallDirs)

if(BUILD_PROGRAMS AND TARGET skyprobe AND TARGET cellprobe)
  install(TARGETS skyprobe cellprobe RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # cellprobe finds its ring tone in <prefix>/share/cellprobe/ once installed.
  install(FILES ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/ring.WAV DESTINATION ${CMAKE_INSTALL_DATADIR}/cellprobe)
  install(FILES ${CMAKE_SOURCE_DIR}/cmake/skyprobe.desktop ${CMAKE_SOURCE_DIR}/cmake/cellprobe.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

  # The icon theme wants PNGs; the programs carry .ico resources, so convert at build time.
  set(desktop_icons)
  foreach(program skyprobe cellprobe)
    set(source ${CMAKE_SOURCE_DIR}/${program}/resources/${program}.ico)
    foreach(size 16 32)
      set(png ${CMAKE_BINARY_DIR}/icons/${size}x${size}/${program}.png)
      add_custom_command(OUTPUT ${png}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons/${size}x${size}
        COMMAND iconpng ${source} ${size} ${png}
        DEPENDS iconpng ${source}
        VERBATIM)
      list(APPEND desktop_icons ${png})
      install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
    endforeach()
  endforeach()
  add_custom_target(desktop_icons ALL DEPENDS ${desktop_icons})
endif()

if(TARGET devsim)
  install(TARGETS devsim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

set(CPACK_PACKAGE_NAME "deviceprobe")
set(CPACK_PACKAGE_VENDOR "Device probe suite")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "GPS and GSM test programs, GPIO and backlight libraries")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Device probe suite developers <probe@localhost>")
set(CPACK_GENERATOR "DEB")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
