# Where the codeset tables (generic/codeset/) and the message catalogs
# (nls/) are installed, and where an installed library looks for them when
# no ZILDIR or NLSPATH says otherwise.
#
# VRX_INSTALL_DATADIR is relative to the install prefix. Empty keeps the
# data directly under the prefix (<prefix>/generic/codeset/, <prefix>/nls/);
# a /usr install puts it under share/vrxagent/, as the file system layout of
# a Debian host wants.
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  set(_vrx_default_datadir "share/vrxagent")
else()
  set(_vrx_default_datadir "")
endif()
set(VRX_INSTALL_DATADIR "${_vrx_default_datadir}" CACHE STRING
    "Data directory (codeset tables, catalogs) relative to the install prefix")
option(VRX_FIND_INSTALLED_DATA
       "Compile the installed data directory into the library as its last search place (OFF for trees that are moved after install)"
       ON)

if(VRX_INSTALL_DATADIR)
  set(VRX_DATA_DESTINATION "${VRX_INSTALL_DATADIR}/")
else()
  set(VRX_DATA_DESTINATION "")
endif()

set(VRX_INSTALLED_DATA_DIR "")
if(VRX_FIND_INSTALLED_DATA)
  cmake_path(ABSOLUTE_PATH VRX_INSTALL_DATADIR BASE_DIRECTORY "${CMAKE_INSTALL_PREFIX}"
             NORMALIZE OUTPUT_VARIABLE VRX_INSTALLED_DATA_DIR)
  string(REGEX REPLACE "(.)/$" "\\1" VRX_INSTALLED_DATA_DIR "${VRX_INSTALLED_DATA_DIR}")
endif()
