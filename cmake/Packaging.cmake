# Install layout. The libraries and the tools that link them install themselves from their own folders;
# this adds the programs, their data, desktop entries, icons and manual pages. Debian packages are built
# from debian/ (dpkg-buildpackage), which splits this same install into its packages.
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

# One page per program, docs/man/<program>.1; a page is installed with the program it describes, so a
# build without the Qt programs installs no pages for them.
file(GLOB manual_pages CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/docs/man/*.1)
foreach(page ${manual_pages})
  get_filename_component(program ${page} NAME_WE)
  if(TARGET ${program})
    install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
endforeach()
# The board file's page goes with the tools that show where the board file sends the libraries.
if(TARGET pinctl OR TARGET glowctl)
  install(FILES ${CMAKE_SOURCE_DIR}/docs/man/deviceprobe-board.conf.5 DESTINATION ${CMAKE_INSTALL_MANDIR}/man5)
endif()
