# The Debian package: `cpack --preset deb`, or `cpack -G DEB` in a build
# tree configured for the prefix /usr (the `deb` preset does that).
#
# Unpacking is the whole install: there is no service, user or configuration
# file to manage, so the package has no maintainer scripts. The shared
# libraries are announced with a shlibs file, and the dynamic linker's cache
# is refreshed by dpkg's ldconfig trigger, not by a script. The data tools
# (component "tools") are packaged too.

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
message catalogs, and the logging toolkit) as shared and static libraries\n\
with headers, a CMake package and pkg-config files, example programs, the\n\
tools that build codeset tables and message catalogs, and their data.")
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
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)  # it would add ldconfig scripts
file(WRITE ${PROJECT_BINARY_DIR}/packaging/shlibs
     "libkavel 1 ${PROJECT_NAME} (>= ${PROJECT_VERSION})\nlibzil 1 ${PROJECT_NAME} (>= ${PROJECT_VERSION})\n")
file(WRITE ${PROJECT_BINARY_DIR}/packaging/triggers "activate-noawait ldconfig\n")
# packaging/symbols lists every exported name with the version that brought
# it (the library_symbols test keeps it equal to what the libraries export).
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${PROJECT_BINARY_DIR}/packaging/shlibs;\
${PROJECT_SOURCE_DIR}/packaging/symbols;${PROJECT_BINARY_DIR}/packaging/triggers")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/PackagingNoScripts.cmake)

# A tree configured for another prefix would ship programs that look for
# their data elsewhere than where the package puts it.
if(NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr" OR NOT VRX_INSTALL_DATADIR STREQUAL "share/vrxagent")
  set(CPACK_VRX_MISCONFIGURED
      "this build tree installs into ${CMAKE_INSTALL_PREFIX} with data in '${VRX_INSTALL_DATADIR}'; a package needs the prefix /usr and the data in share/vrxagent: configure with --preset deb or -DCMAKE_INSTALL_PREFIX=/usr")
  set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/PackagingRefuse.cmake)
endif()

include(CPack)
