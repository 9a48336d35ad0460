# The shared library as a CMake package (shapemark::shapemark) and a pkg-config module
# (shapemark), each found from wherever the prefix is installed.

set(shapemark_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/shapemark)

# The soname carries the major version: a new major version may break programs linked to it.
set_target_properties(shapemark_library PROPERTIES VERSION ${PROJECT_VERSION}
                                                   SOVERSION ${PROJECT_VERSION_MAJOR})
# The tool needs only the versioned library; the bare .so name is for building against it.
install(TARGETS shapemark_library EXPORT shapemarkTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT ${SHAPEMARK_RUNTIME_COMPONENT}
                NAMELINK_COMPONENT ${SHAPEMARK_DEV_COMPONENT}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/shapemark DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        COMPONENT ${SHAPEMARK_DEV_COMPONENT})

install(EXPORT shapemarkTargets NAMESPACE shapemark:: DESTINATION ${shapemark_cmake_dir}
        COMPONENT ${SHAPEMARK_DEV_COMPONENT})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/shapemarkConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/cmake/shapemarkConfig.cmake
                              INSTALL_DESTINATION ${shapemark_cmake_dir})
# Same major version, same soname: 1.4 satisfies a request for 1.2, 2.0 does not.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/cmake/shapemarkConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/cmake/shapemarkConfig.cmake
              ${PROJECT_BINARY_DIR}/cmake/shapemarkConfigVersion.cmake
        DESTINATION ${shapemark_cmake_dir} COMPONENT ${SHAPEMARK_DEV_COMPONENT})

# The .pc file names its prefix outright, as pkg-config expects, so it is written at install
# time, when `cmake --install --prefix` or CPack has settled the prefix. Everything else in it
# is filled in now.
set(shapemark_pc_prefix "@CMAKE_INSTALL_PREFIX@")
configure_file(${CMAKE_CURRENT_LIST_DIR}/shapemark.pc.in ${PROJECT_BINARY_DIR}/pkgconfig/shapemark.pc.in
               @ONLY)
install(CODE "
    configure_file(${PROJECT_BINARY_DIR}/pkgconfig/shapemark.pc.in
                   ${PROJECT_BINARY_DIR}/pkgconfig/installed/shapemark.pc @ONLY)
    file(INSTALL ${PROJECT_BINARY_DIR}/pkgconfig/installed/shapemark.pc
         DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig\")"
        COMPONENT ${SHAPEMARK_DEV_COMPONENT})
