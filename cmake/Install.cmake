# `cmake --install` puts the controller, the libraries, their public headers
# (in include/vrxagent/, so names such as zil.h clash with nothing), the
# manual and the data in place, with a CMake package and pkg-config files so
# programs in C or C++ can link the libraries. The agent's module library
# (slmagent) is the agent programs' own: linked into them, never installed,
# so its unprefixed names reach no other program.
#
# Every rule names its component; each component is one Debian package
# (cmake/Packaging.cmake): libzil, libkavel and libkavelnet (the shared
# libraries), dev
# (headers, static libraries, the links to the shared ones, the CMake and
# pkg-config files, the examples), data (codeset tables, catalogs, message
# sources), controller, tools and doc (the API reference, ApiDocs.cmake).
#
# Each library is installed twice: static (lib<name>.a, vrxagent::<name>)
# and shared (lib<name>.so.1, vrxagent::<name>_shared, exporting only its
# public headers' names). The static ones are C++ inside: whatever links
# them from C needs the C++ runtime, so their exported link interface and
# the pkg-config files' private libraries carry it.

install(TARGETS agentcontroller RUNTIME DESTINATION ${CMAKE_INSTALL_SBINDIR} COMPONENT controller)
install(TARGETS zil kavel kavelnet EXPORT vrxagentTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vrxagent)
foreach(library zil kavel kavelnet)
  install(TARGETS ${library}_shared EXPORT vrxagentTargets
          LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT lib${library} NAMELINK_COMPONENT dev
                  PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
          INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vrxagent)
endforeach()
set(VRX_HEADER_DIR ${CMAKE_INSTALL_INCLUDEDIR}/vrxagent)
install(DIRECTORY kavel/include/ DESTINATION ${VRX_HEADER_DIR} COMPONENT dev
        FILES_MATCHING PATTERN "*.h" PATTERN "*.hpp" PATTERN "private" EXCLUDE)
install(FILES libmsg/include/zil.h kavel/net/include/kavelnet.h DESTINATION ${VRX_HEADER_DIR}
        COMPONENT dev)

set(VRX_CXX_RUNTIME_LIBS stdc++ m)
target_link_libraries(zil INTERFACE ${VRX_CXX_RUNTIME_LIBS})
target_link_options(zil INTERFACE -pthread)

# The CMake package.
set(VRX_CMAKE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/vrxagent)
install(EXPORT vrxagentTargets NAMESPACE vrxagent:: DESTINATION ${VRX_CMAKE_PACKAGE_DIR}
        COMPONENT dev)
include(CMakePackageConfigHelpers)
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/vrxagentConfig.cmake
     "include(\${CMAKE_CURRENT_LIST_DIR}/vrxagentTargets.cmake)\n")
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/vrxagentConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/vrxagentConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/vrxagentConfigVersion.cmake
        DESTINATION ${VRX_CMAKE_PACKAGE_DIR} COMPONENT dev)

# The pkg-config files, relocatable: the prefix is found from the file's own
# place.
set(VRX_PKGCONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
file(RELATIVE_PATH VRX_PC_TO_PREFIX "/root/${VRX_PKGCONFIG_DIR}" "/root")
string(REGEX REPLACE "/$" "" VRX_PC_TO_PREFIX "${VRX_PC_TO_PREFIX}")
function(vrx_pkgconfig name library requires description extra_libs)
  set(VRX_PC_NAME ${name})
  set(VRX_PC_LIBRARY ${library})
  set(VRX_PC_REQUIRES ${requires})
  set(VRX_PC_DESCRIPTION ${description})
  set(VRX_PC_EXTRA_LIBS ${extra_libs})
  configure_file(${PROJECT_SOURCE_DIR}/cmake/vrxagent.pc.in
                 ${CMAKE_CURRENT_BINARY_DIR}/pkgconfig/${name}.pc @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/pkgconfig/${name}.pc DESTINATION ${VRX_PKGCONFIG_DIR}
          COMPONENT dev)
endfunction()
vrx_pkgconfig(vrxagent-zil zil "" "Codeset conversion and message catalogs"
              "-lstdc++ -lm -pthread")
vrx_pkgconfig(vrxagent-kavel kavel vrxagent-zil "Logging toolkit" "")
vrx_pkgconfig(vrxagent-kavelnet kavelnet vrxagent-kavel "Logging toolkit: the syslog handler"
              "-lgnutls -lrelp")

# The manual, the licence and the change log, compressed the way Debian
# wants them (gzip -9n: best, and no name or time stamp, so reproducible).
find_program(VRX_GZIP gzip REQUIRED)
set(VRX_DOC_OUTPUTS)
function(vrx_gzip source)
  cmake_path(GET source FILENAME name)
  set(copy ${PROJECT_BINARY_DIR}/doc/${name})
  add_custom_command(OUTPUT ${copy}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${copy}
    COMMAND ${VRX_GZIP} -9nf ${copy}
    DEPENDS ${source} VERBATIM)
  set(VRX_DOC_OUTPUTS ${VRX_DOC_OUTPUTS} ${copy}.gz PARENT_SCOPE)
endfunction()
vrx_gzip(${PROJECT_SOURCE_DIR}/man/agentcontroller.8)
vrx_gzip(${PROJECT_SOURCE_DIR}/man/kvlcheck.1)
vrx_gzip(${PROJECT_SOURCE_DIR}/man/kvldrain.1)
vrx_gzip(${PROJECT_SOURCE_DIR}/man/zil_mktable.1)
vrx_gzip(${PROJECT_SOURCE_DIR}/man/zil_mkcat.1)
vrx_gzip(${PROJECT_SOURCE_DIR}/packaging/changelog)
add_custom_target(vrx_docs ALL DEPENDS ${VRX_DOC_OUTPUTS})
install(FILES ${PROJECT_BINARY_DIR}/doc/agentcontroller.8.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man8
        COMPONENT controller)
install(FILES ${PROJECT_BINARY_DIR}/doc/kvlcheck.1.gz ${PROJECT_BINARY_DIR}/doc/kvldrain.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)
# The example programs, with the CMake project that builds them against the
# installed libraries.
install(DIRECTORY examples/logging/ DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/libvrxagent-dev/examples/logging
        COMPONENT dev)
# The licence is LICENSE (Apache-2.0); Debian wants the copyright file to
# point at its own copy of that text rather than repeat it.
file(STRINGS LICENSE VRX_LICENSE_TITLE LIMIT_COUNT 3)
if(NOT VRX_LICENSE_TITLE MATCHES "Apache License.*Version 2.0")
  message(FATAL_ERROR "LICENSE is no longer the Apache License 2.0: update packaging/copyright.in")
endif()
configure_file(packaging/copyright.in ${PROJECT_BINARY_DIR}/doc/copyright @ONLY)
# Every package carries the copyright file and the change log in its own
# documentation directory.
set(VRX_PACKAGES libzil=libzil1 libkavel=libkavel1 libkavelnet=libkavelnet1 dev=libvrxagent-dev
                 data=vrxagent-data
                 controller=vrxagent-controller tools=vrxagent-tools doc=vrxagent-doc)
foreach(entry IN LISTS VRX_PACKAGES)
  string(REPLACE "=" ";" entry ${entry})
  list(GET entry 0 component)
  list(GET entry 1 package)
  install(FILES ${PROJECT_BINARY_DIR}/doc/copyright ${PROJECT_BINARY_DIR}/doc/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endforeach()
