include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# Settings shared by the shipped library and its unloadable test copy: only the C functions that
# NAME.map lists are exported, under the library's own soname.
function(link_device_library target name dir)
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME ${name}
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON
    VERSION ${PROJECT_VERSION}
    SOVERSION 1
    LINK_DEPENDS ${dir}/${name}.map
  )
  target_link_libraries(${target} PRIVATE ${name}_core)
  target_link_options(${target} PRIVATE "-Wl,--version-script=${dir}/${name}.map")
  # Sanitizer and fuzzer runtimes are resolved by the executable, so only plain builds can insist that
  # the library resolves every symbol itself.
  if(NOT SANITIZE AND NOT FUZZ)
    target_link_options(${target} PRIVATE "-Wl,--no-undefined")
  endif()
endfunction()

# add_device_library(NAME CORE sources... EXPORTS source)
#
# One of the device libraries: NAME_core, a position-independent archive of the classes that unit tests
# link, and libNAME.so, which exports only the C functions that NAME.map lists. Installs the library,
# the public header NAME.h under include/NAME/, a pkg-config file made from NAME.pc.in, a CMake package
# (NAMEConfig.cmake with the imported target NAME::NAME) and the manual page docs/man/NAME.3.
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
  link_device_library(${name} ${name} ${dir})
  set_target_properties(${name} PROPERTIES PUBLIC_HEADER ${name}.h)
  # Never unloaded: a dlclose while another thread is inside an export would unmap the code under that
  # thread. The one unload left is the process's exit, which the exports' gate (CallerGate) handles.
  target_link_options(${name} PRIVATE "-Wl,-z,nodelete")

  # The tests load the library afresh for each case and check what its unload hook releases, which the
  # shipped library cannot show; they load this copy of the same objects, which dlclose does unload.
  if(BUILD_TESTING)
    add_library(${name}_unloadable SHARED ${arg_EXPORTS})
    link_device_library(${name}_unloadable ${name} ${dir})
    set_target_properties(${name}_unloadable PROPERTIES
      LIBRARY_OUTPUT_DIRECTORY ${CMAKE_LIBRARY_OUTPUT_DIRECTORY}/unloadable)
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
  install(TARGETS ${name} EXPORT ${name}Targets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/${name}
    INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  )
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${name}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

  # find_package(NAME CONFIG): the targets file finds the prefix relative to itself, as the .pc file
  # does. The major version is the soname's, so any 1.x satisfies a request for 1.0.
  set(cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/${name})
  install(EXPORT ${name}Targets NAMESPACE ${name}:: DESTINATION ${cmake_dir})
  configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/DeviceLibraryConfig.cmake.in
    ${CMAKE_CURRENT_BINARY_DIR}/${name}Config.cmake INSTALL_DESTINATION ${cmake_dir})
  write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/${name}ConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${name}Config.cmake ${CMAKE_CURRENT_BINARY_DIR}/${name}ConfigVersion.cmake
    DESTINATION ${cmake_dir})

  install_library_manual(${name} ${dir}/${name}.map)
endfunction()

# install_library_manual(NAME MAP)
#
# The library's page docs/man/NAME.3 and one more name for it per exported function, a page that only
# says ".so man3/NAME.3", so that "man 3 SetBrightness" opens the library's page. The names are read
# from the version script, so an export cannot arrive without one.
function(install_library_manual name map)
  set(page ${CMAKE_SOURCE_DIR}/docs/man/${name}.3)
  if(NOT EXISTS ${page})
    message(FATAL_ERROR "${name} has no manual page ${page}")
  endif()
  set(pages ${page})
  file(STRINGS ${map} exports REGEX "^[ \t]+[A-Za-z_][A-Za-z0-9_]*;")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${map})
  foreach(line ${exports})
    string(REGEX REPLACE "[ \t;]" "" function "${line}")
    set(alias ${CMAKE_CURRENT_BINARY_DIR}/man3/${function}.3)
    file(WRITE ${alias} ".so man3/${name}.3\n")
    list(APPEND pages ${alias})
  endforeach()
  install(FILES ${pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man3)
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
