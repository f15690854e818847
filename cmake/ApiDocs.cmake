# The API reference: Doxygen over the public headers, with the README and
# the example programs as pages (doc/api/). Built with the rest when
# VRX_API_DOCS is on (the default and deb presets), into
# <build>/doc/api/html, and installed as component "doc".
#
# The configuration treats every warning as an error, so a public name
# without documentation, or a broken reference, fails the build and the
# api_reference test says which.

if(NOT VRX_API_DOCS)
  return()
endif()
find_program(VRX_DOXYGEN doxygen)
if(NOT VRX_DOXYGEN)
  message(FATAL_ERROR "VRX_API_DOCS is on but doxygen is not installed: install it (Debian: doxygen) or configure with -DVRX_API_DOCS=OFF")
endif()

set(VRX_API_HEADERS
    ${PROJECT_SOURCE_DIR}/kavel/include/kavel.h
    ${PROJECT_SOURCE_DIR}/kavel/include/kavel.hpp
    ${PROJECT_SOURCE_DIR}/kavel/include/kavel_ext.h
    ${PROJECT_SOURCE_DIR}/kavel/net/include/kavelnet.h
    ${PROJECT_SOURCE_DIR}/kavel/include/OxsMemory.h
    ${PROJECT_SOURCE_DIR}/kavel/include/OxsString.h
    ${PROJECT_SOURCE_DIR}/libmsg/include/zil.h)
set(VRX_API_PAGES
    ${PROJECT_SOURCE_DIR}/doc/api/mainpage.md
    ${PROJECT_SOURCE_DIR}/doc/api/toolkit_classes.md
    ${PROJECT_SOURCE_DIR}/README.md)
file(GLOB VRX_API_EXAMPLES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/examples/logging/*.c
     ${PROJECT_SOURCE_DIR}/examples/logging/*.cpp)

set(VRX_API_DOCS_DIR ${PROJECT_BINARY_DIR}/doc/api)
list(JOIN VRX_API_HEADERS " " headers)
list(JOIN VRX_API_PAGES " " pages)
set(VRX_API_DOCS_INPUT "${headers} ${pages}")
configure_file(${PROJECT_SOURCE_DIR}/doc/api/Doxyfile.in ${VRX_API_DOCS_DIR}/Doxyfile @ONLY)

add_custom_command(
  OUTPUT ${VRX_API_DOCS_DIR}/html/index.html
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${VRX_API_DOCS_DIR}/html
  COMMAND ${VRX_DOXYGEN} ${VRX_API_DOCS_DIR}/Doxyfile
  DEPENDS ${VRX_API_DOCS_DIR}/Doxyfile ${VRX_API_HEADERS} ${VRX_API_PAGES} ${VRX_API_EXAMPLES}
  WORKING_DIRECTORY ${VRX_API_DOCS_DIR}
  COMMENT "API reference (doxygen)" VERBATIM)
add_custom_target(api_docs ALL DEPENDS ${VRX_API_DOCS_DIR}/html/index.html)

install(DIRECTORY ${VRX_API_DOCS_DIR}/html/ DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vrxagent-doc/html
        COMPONENT doc)
# Registered with the system's documentation index (doc-base).
install(FILES ${PROJECT_SOURCE_DIR}/doc/api/doc-base DESTINATION ${CMAKE_INSTALL_DATADIR}/doc-base
        RENAME vrxagent-doc COMPONENT doc)
