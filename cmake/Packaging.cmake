# The Debian packages: `cpack --preset deb`, or `cpack -G DEB` in a build
# tree configured for the prefix /usr (the `deb` preset does that).
#
# One package per install component (VRX_PACKAGES, cmake/Install.cmake), made
# by CPack from the same install rules a `cmake --install` follows, so no
# second list of files can drift from them:
#   libzil1, libkavel1,   the shared libraries (section libs), each with a
#   libkavelnet1          shlibs and a symbols file (packaging/<package>/)
#   libvrxagent-dev       headers, static libraries, the CMake package,
#                         pkg-config files and the example programs
#   vrxagent-data         codeset tables, catalogs, message sources (all)
#   vrxagent-controller   the controller and its manual (section admin)
#   vrxagent-tools        zil_mktable, zil_mkcat, kvlcheck, kvldrain and their manuals
#   vrxagent-doc          the API reference in HTML (all)
#
# Unpacking is the whole install: the libraries are registered by dpkg's
# ldconfig trigger, not by the scripts CPack would add (they are taken out
# again after the build, PackagingFinish.cmake). The controller's only
# script is its postrm, which on purge removes the controller's own trace
# files and the directories of its tree left empty (packaging/
# vrxagent-controller/postrm).

set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Vrx Agent Team")
set(CPACK_PACKAGE_CONTACT "Vrx Agent Team <agent-team@vrxagent.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING IGNORE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libkavel.so.1 needs libzil.so.1, and libkavelnet.so.1 libkavel.so.1, which
# no installed package holds yet: they are found in the build tree, and the
# dependencies on libzil1 and libkavel1 are given below.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/libmsg ${PROJECT_BINARY_DIR}/kavel)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)  # written below, with ">="
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/PackagingFinish.cmake)

set(version ${PROJECT_VERSION})
set(same "(= ${version})")
set(CPACK_COMPONENTS_ALL)
# vrx_package(COMPONENT PACKAGE SECTION ARCHITECTURE DEPENDS SUMMARY DESCRIPTION)
function(vrx_package component package section architecture depends summary description)
  string(TOUPPER ${component} c)
  set(CPACK_COMPONENTS_ALL ${CPACK_COMPONENTS_ALL} ${component} PARENT_SCOPE)
  set(CPACK_DEBIAN_${c}_PACKAGE_NAME ${package} PARENT_SCOPE)
  set(CPACK_DEBIAN_${c}_PACKAGE_SECTION ${section} PARENT_SCOPE)
  set(CPACK_DEBIAN_${c}_PACKAGE_ARCHITECTURE ${architecture} PARENT_SCOPE)
  set(CPACK_DEBIAN_${c}_PACKAGE_DEPENDS "${depends}" PARENT_SCOPE)
  set(CPACK_DEBIAN_${c}_DESCRIPTION "${summary}\n${description}" PARENT_SCOPE)
  if(architecture STREQUAL "all")
    set(CPACK_DEBIAN_${c}_PACKAGE_SHLIBDEPS OFF PARENT_SCOPE)
  endif()
endfunction()

vrx_package(libzil libzil1 libs amd64 "vrxagent-data (>= ${version})"
  "codeset conversion and message catalogs (shared library)"
  "libzil converts text between the host's local codesets (single-byte,\n\
double-byte, EUC, EBCDIC with shifts, GB 18030), UTF-8 and UCS-2, and reads\n\
message catalogs found through NLSPATH. This package holds the shared\n\
library; the codeset tables are in vrxagent-data.")
vrx_package(libkavel libkavel1 libs amd64 "libzil1 ${same}"
  "logging toolkit (shared library)"
  "libkavel is a logging toolkit configured by properties files: loggers,\n\
filters, handlers and formatters made from registered classes; rolling log\n\
files shared by several processes under a System V semaphore; one-line, XML\n\
and trace formats; first-failure data capture; translatable messages.\n\
This package holds the shared library.")
vrx_package(libkavelnet libkavelnet1 libs amd64 "libkavel1 ${same}"
  "logging toolkit: the syslog handler (shared library)"
  "libkavelnet adds to libkavel the classes that send records off the host:\n\
kvl_sysloghandler, which sends RFC 5424 (or RFC 3164) records to the host's\n\
syslog socket or a site's collector over UDP, TCP, TLS or RELP, and its\n\
formatter.\n\
This package holds the shared library.")
vrx_package(dev libvrxagent-dev libdevel amd64 "libzil1 ${same}, libkavel1 ${same}, libkavelnet1 ${same}, libgnutls28-dev, librelp-dev"
  "logging toolkit and codeset library (development files)"
  "Headers (C, and typed helpers for C++17 or later), static libraries, a\n\
CMake package (vrxagent::kavel, vrxagent::kavelnet, vrxagent::zil and their\n\
_shared twins), pkg-config files (vrxagent-kavel, vrxagent-kavelnet,\n\
vrxagent-zil) and example programs with a\n\
CMake project that builds them, for programs that log with libkavel or\n\
convert text with libzil.")
vrx_package(data vrxagent-data misc all ""
  "codeset tables and message catalogs"
  "The codeset tables libzil converts with, the toolkit's compiled message\n\
catalogs and their sources, which a translator copies, translates and\n\
compiles with zil_mkcat (vrxagent-tools).")
vrx_package(controller vrxagent-controller admin amd64 "vrxagent-data (>= ${version})"
  "controller that starts and stops the vrxagent host agent"
  "agentcontroller is run by installers and administrators to start and stop\n\
the vrxagent host agent: it runs the agent's own commands, judges their exit\n\
codes, prints one outcome line and leaves a result code for an installer.")
vrx_package(tools vrxagent-tools devel amd64 "vrxagent-data (>= ${version})"
  "tools for the logging toolkit's configurations and data"
  "kvlcheck checks properties files for the logging toolkit (and the agent's\n\
own configuration) and shows the loggers, filters, handlers and files they\n\
make; kvldrain writes the records that asynchronous handlers of dead\n\
programs left queued; zil_mktable builds codeset tables; zil_mkcat\n\
compiles message catalogs.")
vrx_package(doc vrxagent-doc doc all ""
  "logging toolkit and codeset library (API reference)"
  "The API reference of libkavel and libzil in HTML: every public function,\n\
type and constant, the toolkit's classes and their properties, and the\n\
example programs.")

# The library packages announce their libraries (shlibs, with ">=" so a
# program built against this version accepts any later one of the same
# soname), list every exported name with the version that brought it
# (packaging/<package>/symbols; the library_symbols test keeps them equal to
# what the libraries export) and activate dpkg's ldconfig trigger.
file(WRITE ${PROJECT_BINARY_DIR}/packaging/triggers "activate-noawait ldconfig\n")
foreach(library zil kavel kavelnet)
  set(package lib${library}1)
  file(WRITE ${PROJECT_BINARY_DIR}/packaging/${package}/shlibs
       "lib${library} 1 ${package} (>= ${version})\n")
  string(TOUPPER lib${library} c)
  set(CPACK_DEBIAN_${c}_PACKAGE_CONTROL_EXTRA
      "${PROJECT_BINARY_DIR}/packaging/${package}/shlibs;${PROJECT_SOURCE_DIR}/packaging/${package}/symbols;${PROJECT_BINARY_DIR}/packaging/triggers")
endforeach()
set(CPACK_DEBIAN_CONTROLLER_PACKAGE_CONTROL_EXTRA
    "${PROJECT_SOURCE_DIR}/packaging/vrxagent-controller/postrm")

# A tree configured for another prefix would ship programs that look for
# their data elsewhere than where the package puts it.
if(NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr" OR NOT VRX_INSTALL_DATADIR STREQUAL "share/vrxagent")
  set(CPACK_VRX_MISCONFIGURED
      "this build tree installs into ${CMAKE_INSTALL_PREFIX} with data in '${VRX_INSTALL_DATADIR}'; a package needs the prefix /usr and the data in share/vrxagent: configure with --preset deb or -DCMAKE_INSTALL_PREFIX=/usr")
  set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/PackagingRefuse.cmake)
elseif(NOT VRX_API_DOCS)
  set(CPACK_VRX_MISCONFIGURED
      "this build tree makes no API reference for vrxagent-doc: configure with --preset deb or -DVRX_API_DOCS=ON")
  set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/PackagingRefuse.cmake)
endif()

include(CPack)
