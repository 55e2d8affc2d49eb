# Install rules: the library (versioned, with its SONAME), the public header,
# the command-line host and the Python package, a CMake package configuration
# with the imported target quillmar::ranvique, and a pkg-config file.
include(CMakePackageConfigHelpers)

set(RANVIQUE_CMAKE_DIR "${CMAKE_INSTALL_LIBDIR}/cmake/quillmar-ranvique" CACHE STRING
    "Folder (under the install prefix) that receives the CMake package files")

set_target_properties(quillmar-ranvique PROPERTIES EXPORT_NAME ranvique)
install(TARGETS quillmar-ranvique EXPORT quillmar-ranvique-targets
  LIBRARY DESTINATION "${CMAKE_INSTALL_LIBDIR}"
  ARCHIVE DESTINATION "${CMAKE_INSTALL_LIBDIR}"
  RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}"
  PUBLIC_HEADER DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}")

if(TARGET ranvique_cli)
  # The installed host finds the installed library relative to itself.
  file(RELATIVE_PATH _bin_to_lib "/prefix/${CMAKE_INSTALL_BINDIR}" "/prefix/${CMAKE_INSTALL_LIBDIR}")
  if(APPLE)
    set_target_properties(ranvique_cli PROPERTIES INSTALL_RPATH "@loader_path/${_bin_to_lib}")
  elseif(UNIX)
    set_target_properties(ranvique_cli PROPERTIES INSTALL_RPATH "$ORIGIN/${_bin_to_lib}")
  endif()
  install(TARGETS ranvique_cli RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
endif()

install(EXPORT quillmar-ranvique-targets
  NAMESPACE quillmar::
  FILE quillmar-ranvique-targets.cmake
  DESTINATION "${RANVIQUE_CMAKE_DIR}")
configure_package_config_file(
  "${CMAKE_CURRENT_LIST_DIR}/quillmar-ranvique-config.cmake.in"
  "${CMAKE_CURRENT_BINARY_DIR}/quillmar-ranvique-config.cmake"
  INSTALL_DESTINATION "${RANVIQUE_CMAKE_DIR}")
# The SONAME carries the major version, so the package promises the same.
write_basic_package_version_file(
  "${CMAKE_CURRENT_BINARY_DIR}/quillmar-ranvique-config-version.cmake"
  VERSION "${PROJECT_VERSION}"
  COMPATIBILITY SameMajorVersion)
install(FILES
  "${CMAKE_CURRENT_BINARY_DIR}/quillmar-ranvique-config.cmake"
  "${CMAKE_CURRENT_BINARY_DIR}/quillmar-ranvique-config-version.cmake"
  DESTINATION "${RANVIQUE_CMAKE_DIR}")

# pkg-config: paths relative to the .pc file itself, so the tree can move.
set(RANVIQUE_PKGCONFIG_DIR "${CMAKE_INSTALL_LIBDIR}/pkgconfig" CACHE STRING
    "Folder (under the install prefix) that receives quillmar-ranvique.pc")
if(IS_ABSOLUTE "${RANVIQUE_PKGCONFIG_DIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}"
   OR IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(RANVIQUE_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
  set(RANVIQUE_PC_LIBDIR "${CMAKE_INSTALL_FULL_LIBDIR}")
  set(RANVIQUE_PC_INCLUDEDIR "${CMAKE_INSTALL_FULL_INCLUDEDIR}")
else()
  file(RELATIVE_PATH _pc_to_prefix "/prefix/${RANVIQUE_PKGCONFIG_DIR}" "/prefix")
  set(RANVIQUE_PC_PREFIX "\${pcfiledir}/${_pc_to_prefix}")
  set(RANVIQUE_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
  set(RANVIQUE_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
endif()
configure_file("${CMAKE_CURRENT_LIST_DIR}/quillmar-ranvique.pc.in"
               "${CMAKE_CURRENT_BINARY_DIR}/quillmar-ranvique.pc" @ONLY)
install(FILES "${CMAKE_CURRENT_BINARY_DIR}/quillmar-ranvique.pc" DESTINATION "${RANVIQUE_PKGCONFIG_DIR}")
