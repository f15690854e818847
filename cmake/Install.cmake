# `cmake --install` puts the controller, the libraries and their public
# headers in place, with a package config so other programs can
# find_package(vrxagent) and link vrxagent::kavel, vrxagent::zil, ...

install(TARGETS agentcontroller RUNTIME DESTINATION ${CMAKE_INSTALL_SBINDIR})
install(TARGETS zil kavel slmagent EXPORT vrxagentTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY kavel/include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        FILES_MATCHING PATTERN "*.h" PATTERN "private" EXCLUDE)
install(FILES libmsg/include/zil.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT vrxagentTargets NAMESPACE vrxagent::
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/vrxagent)

include(CMakePackageConfigHelpers)
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/vrxagentConfig.cmake
     "include(\${CMAKE_CURRENT_LIST_DIR}/vrxagentTargets.cmake)\n")
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/vrxagentConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/vrxagentConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/vrxagentConfigVersion.cmake
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/vrxagent)
