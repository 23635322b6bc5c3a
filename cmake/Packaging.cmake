# Installation and packages: the library with its SONAME links, both headers and the tool;
# a CMake package (imported target vlauth::vlauth, with a version file); a pkg-config file;
# and CPack's Debian packages:
#   libostrevo-velunar-auth-session1      the shared library           (component runtime)
#   libostrevo-velunar-auth-session-dev   headers, CMake and pkg-config (component devel)
#   ostrevo-velunar-auth-session-tools    the vlauth command            (component tools)
include(CMakePackageConfigHelpers)

set(VLAUTH_CMAKE_INSTALL_DIR "${CMAKE_INSTALL_LIBDIR}/cmake/${PROJECT_NAME}")

install(TARGETS vlauth EXPORT vlauth-targets
  LIBRARY DESTINATION "${CMAKE_INSTALL_LIBDIR}" COMPONENT runtime NAMELINK_COMPONENT devel
  ARCHIVE DESTINATION "${CMAKE_INSTALL_LIBDIR}" COMPONENT devel
  RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT runtime)
install(FILES "${PROJECT_SOURCE_DIR}/include/vlauth.h" "${PROJECT_SOURCE_DIR}/include/vlauth.hpp"
  DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}" COMPONENT devel)
if(TARGET vlauth_cli)
  install(TARGETS vlauth_cli RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT tools)
endif()

# ---- CMake package: find_package(ostrevo-velunar-auth-session CONFIG) -> vlauth::vlauth ----
# The same target name as inside this build, so a host can switch between add_subdirectory()
# and the installed package without touching its target_link_libraries().
install(EXPORT vlauth-targets NAMESPACE vlauth:: FILE "${PROJECT_NAME}-targets.cmake"
  DESTINATION "${VLAUTH_CMAKE_INSTALL_DIR}" COMPONENT devel)
configure_package_config_file("${CMAKE_CURRENT_LIST_DIR}/package-config.cmake.in"
  "${PROJECT_BINARY_DIR}/${PROJECT_NAME}-config.cmake"
  INSTALL_DESTINATION "${VLAUTH_CMAKE_INSTALL_DIR}")
# Hosts built against 1.x keep working with every later 1.x: the major version is the ABI.
write_basic_package_version_file("${PROJECT_BINARY_DIR}/${PROJECT_NAME}-config-version.cmake"
  VERSION "${PROJECT_VERSION}" COMPATIBILITY SameMajorVersion)
install(FILES "${PROJECT_BINARY_DIR}/${PROJECT_NAME}-config.cmake"
              "${PROJECT_BINARY_DIR}/${PROJECT_NAME}-config-version.cmake"
  DESTINATION "${VLAUTH_CMAKE_INSTALL_DIR}" COMPONENT devel)

# ---- pkg-config: relocatable, the prefix found from the .pc file's own place ---------------
set(VLAUTH_PC_LIBDIR "${CMAKE_INSTALL_LIBDIR}")
set(VLAUTH_PC_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}")
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(VLAUTH_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
  set(VLAUTH_PC_LIBDIR "${CMAKE_INSTALL_FULL_LIBDIR}")
  set(VLAUTH_PC_INCLUDEDIR "${CMAKE_INSTALL_FULL_INCLUDEDIR}")
else()
  file(RELATIVE_PATH _vlauth_pc_up "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
  string(REGEX REPLACE "/$" "" _vlauth_pc_up "${_vlauth_pc_up}")
  set(VLAUTH_PC_PREFIX "\${pcfiledir}/${_vlauth_pc_up}")
  set(VLAUTH_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
  set(VLAUTH_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
endif()
configure_file("${CMAKE_CURRENT_LIST_DIR}/package.pc.in" "${PROJECT_BINARY_DIR}/${PROJECT_NAME}.pc"
  @ONLY)
install(FILES "${PROJECT_BINARY_DIR}/${PROJECT_NAME}.pc"
  DESTINATION "${CMAKE_INSTALL_LIBDIR}/pkgconfig" COMPONENT devel)

# ---- Debian packages -------------------------------------------------------------------------
set(VLAUTH_DEB_RUNTIME "libostrevo-velunar-auth-session${VLAUTH_ABI_VERSION}")
set(VLAUTH_DEB_YYJSON "libyyjson0 (>= 0.12.0)")

set(CPACK_PACKAGE_NAME "${PROJECT_NAME}")
set(CPACK_PACKAGE_VENDOR "Ostrevo Velunar")
set(CPACK_PACKAGE_CONTACT "Ostrevo Velunar developers <dev@ostrevo.example>")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_COMPONENTS_ALL runtime devel tools)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
# Runtime dependencies come from dpkg-shlibdeps; yyjson's floor is stated as well, because
# its symbols file dates the functions used here earlier (0.9) than the 0.12 this library
# is built and tested against, so the runtime package lists libyyjson0 twice: both hold.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# A shlibs file in the library's package, so that packages of hosts get their dependency on
# it from dpkg-shlibdeps in turn.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# The tool links the library of this build, which no installed package owns yet; its
# dependency on the runtime package is stated through the components instead.
get_target_property(_vlauth_lib_dir vlauth LIBRARY_OUTPUT_DIRECTORY)
if(NOT _vlauth_lib_dir)
  get_target_property(_vlauth_lib_dir vlauth BINARY_DIR)
endif()
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "${_vlauth_lib_dir}")

set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
  "Sign-in session library of the streaming client: shared library")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME "${VLAUTH_DEB_RUNTIME}")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "${VLAUTH_DEB_YYJSON}")

set(CPACK_COMPONENT_DEVEL_DESCRIPTION
  "Sign-in session library of the streaming client: C and C++ headers, CMake and pkg-config files")
set(CPACK_COMPONENT_DEVEL_DEPENDS runtime)
set(CPACK_DEBIAN_DEVEL_PACKAGE_NAME "libostrevo-velunar-auth-session-dev")
set(CPACK_DEBIAN_DEVEL_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVEL_PACKAGE_DEPENDS "libyyjson-dev (>= 0.12.0)")
set(CPACK_DEBIAN_DEVEL_PACKAGE_SHLIBDEPS OFF)

set(CPACK_COMPONENT_TOOLS_DESCRIPTION
  "Sign-in session library of the streaming client: the vlauth command")
set(CPACK_COMPONENT_TOOLS_DEPENDS runtime)
set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME "ostrevo-velunar-auth-session-tools")
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)

include(CPack)
