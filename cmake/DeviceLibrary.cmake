include(GNUInstallDirs)

# add_device_library(NAME CORE sources... EXPORTS source)
#
# One of the device libraries: NAME_core, a position-independent archive of the classes that unit tests
# link, and libNAME.so, which exports only the C functions that NAME.map lists. Installs the library,
# the public header NAME.h under include/NAME/ and a pkg-config file made from NAME.pc.in.
function(add_device_library name)
  cmake_parse_arguments(arg "" "EXPORTS" "CORE" ${ARGN})
  set(dir ${CMAKE_CURRENT_SOURCE_DIR})

  add_library(${name}_core STATIC ${arg_CORE})
  target_link_libraries(${name}_core PUBLIC platform)
  set_target_properties(${name}_core PROPERTIES
    POSITION_INDEPENDENT_CODE ON
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON
  )

  add_library(${name} SHARED ${arg_EXPORTS})
  target_link_libraries(${name} PRIVATE ${name}_core)
  set_target_properties(${name} PROPERTIES
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON
    VERSION ${PROJECT_VERSION}
    SOVERSION 1
    PUBLIC_HEADER ${name}.h
    LINK_DEPENDS ${dir}/${name}.map
  )
  target_link_options(${name} PRIVATE "-Wl,--version-script=${dir}/${name}.map")
  # Sanitizer and fuzzer runtimes are resolved by the executable, so only plain builds can insist that
  # the library resolves every symbol itself.
  if(NOT SANITIZE AND NOT FUZZ)
    target_link_options(${name} PRIVATE "-Wl,--no-undefined")
  endif()

  # The prefix is found relative to the installed .pc file, so installing with another --prefix (or
  # moving the tree) keeps it right; absolute install directories are written as they are.
  if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
    set(PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
    set(PC_LIBDIR "${CMAKE_INSTALL_FULL_LIBDIR}")
    set(PC_INCLUDEDIR "${CMAKE_INSTALL_FULL_INCLUDEDIR}")
  else()
    file(RELATIVE_PATH pc_to_prefix "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
    string(REGEX REPLACE "/$" "" pc_to_prefix "${pc_to_prefix}")
    set(PC_PREFIX "\${pcfiledir}/${pc_to_prefix}")
    set(PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
    set(PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
  endif()
  configure_file(${dir}/${name}.pc.in ${CMAKE_CURRENT_BINARY_DIR}/${name}.pc @ONLY)
  install(TARGETS ${name}
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/${name}
  )
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${name}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endfunction()

# install_library_program(TARGET)
#
# Installs a program that links one of the device libraries into the binary directory. Installed under
# a prefix whose library directory the dynamic linker does not search (/usr/local, /opt/...), the
# program finds the library through a run path relative to itself, so the install works without
# ldconfig and keeps working when the tree is moved. In the system's own library directory a run path
# is not needed and distributions reject it.
function(install_library_program target)
  if(NOT CMAKE_INSTALL_FULL_LIBDIR IN_LIST CMAKE_C_IMPLICIT_LINK_DIRECTORIES)
    file(RELATIVE_PATH bin_to_lib "${CMAKE_INSTALL_FULL_BINDIR}" "${CMAKE_INSTALL_FULL_LIBDIR}")
    set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN/${bin_to_lib}")
  endif()
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endfunction()
