# The Debian package: `cpack --preset deb`, or `cpack -G DEB` in a build
# tree configured for the prefix /usr (the `deb` preset does that).
#
# Unpacking is the whole install: the libraries are static (no ldconfig),
# and there is no service, user or configuration file to manage, so the
# package has no maintainer scripts. The data tools (component "tools") stay
# out: the package serves hosts that run the controller and programs that
# link the libraries.

set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Vrx Agent Team")
set(CPACK_PACKAGE_CONTACT "Vrx Agent Team <agent-team@vrxagent.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "controller that starts and stops the vrxagent host agent")
set(CPACK_PACKAGE_DESCRIPTION
    "agentcontroller is run by installers and administrators to start and stop\n\
the vrxagent host agent: it runs the agent's own commands, judges their exit\n\
codes, prints one outcome line and leaves a result code for an installer.\n\
The package also ships the libraries it is built on (codeset conversion and\n\
message catalogs, the logging toolkit, the agent's modules) as static\n\
libraries with headers, a CMake package and pkg-config files, and their data:\n\
codeset tables and message catalogs.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_COMPONENTS_ALL product tools)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)

# A tree configured for another prefix would ship programs that look for
# their data elsewhere than where the package puts it.
if(NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr" OR NOT VRX_INSTALL_DATADIR STREQUAL "share/vrxagent")
  set(CPACK_VRX_MISCONFIGURED
      "this build tree installs into ${CMAKE_INSTALL_PREFIX} with data in '${VRX_INSTALL_DATADIR}'; a package needs the prefix /usr and the data in share/vrxagent: configure with --preset deb or -DCMAKE_INSTALL_PREFIX=/usr")
  set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/PackagingRefuse.cmake)
endif()

include(CPack)
