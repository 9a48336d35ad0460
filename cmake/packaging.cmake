# Install rules and the Debian package.
#
#   cmake --install BUILD --prefix /usr/local    bin/shapemark, share/man/man1/shapemark.1.gz,
#                                                share/bash-completion/completions/shapemark
#   cpack --config BUILD/CPackConfig.cmake        shapemark_VERSION_ARCH.deb (run from BUILD)

include(GNUInstallDirs)

install(TARGETS shapemark RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The man page and the bash completion are made from the option table at build time, so their
# option lists always match --help.
set(SHAPEMARK_MAN_PAGE ${PROJECT_BINARY_DIR}/man/shapemark.1)
add_custom_command(
    OUTPUT ${SHAPEMARK_MAN_PAGE}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
    COMMAND generate_cli_docs man ${PROJECT_SOURCE_DIR}/man/shapemark.1.in ${SHAPEMARK_MAN_PAGE}
    DEPENDS generate_cli_docs ${PROJECT_SOURCE_DIR}/man/shapemark.1.in
    COMMENT "Making the man page"
    VERBATIM)
set(SHAPEMARK_COMPLETION ${PROJECT_BINARY_DIR}/completion/shapemark)
add_custom_command(
    OUTPUT ${SHAPEMARK_COMPLETION}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/completion
    COMMAND generate_cli_docs bash-completion ${SHAPEMARK_COMPLETION}
    DEPENDS generate_cli_docs
    COMMENT "Making the bash completion"
    VERBATIM)
add_custom_target(shapemark_docs ALL DEPENDS ${SHAPEMARK_MAN_PAGE} ${SHAPEMARK_COMPLETION})
install(FILES ${SHAPEMARK_COMPLETION} DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

# Debian ships man pages compressed with gzip at its highest level and without a time stamp
# (-n), so that two builds of one source give the same bytes.
find_program(SHAPEMARK_GZIP gzip)
if(SHAPEMARK_GZIP)
    set(SHAPEMARK_MAN_GZ ${PROJECT_BINARY_DIR}/man/shapemark.1.gz)
    add_custom_command(
        OUTPUT ${SHAPEMARK_MAN_GZ}
        COMMAND ${SHAPEMARK_GZIP} -9 -n -c ${SHAPEMARK_MAN_PAGE} > ${SHAPEMARK_MAN_GZ}
        DEPENDS ${SHAPEMARK_MAN_PAGE}
        COMMENT "Compressing the man page"
        VERBATIM)
    add_custom_target(shapemark_man ALL DEPENDS ${SHAPEMARK_MAN_GZ})
    install(FILES ${SHAPEMARK_MAN_GZ} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
    install(FILES ${SHAPEMARK_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

# The Debian package. Its runtime dependencies come from dpkg-shlibdeps (package dpkg-dev),
# which reads the libraries the installed binary links, so they follow the OpenCV that built it.
set(SHAPEMARK_MAINTAINER "shapemark developers <shapemark-devel@example.org>"
    CACHE STRING "Maintainer field of the Debian package: Name <e-mail>")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME shapemark)
set(CPACK_PACKAGE_VENDOR "shapemark developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "mark simple convex shapes in a recorded video")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # shapemark_VERSION_ARCH.deb
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${SHAPEMARK_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# CPack puts the summary on the first line of the Description field and indents these lines.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "shapemark reads a video frame by frame and outlines in green every convex
polygon of 3 to 8 vertices whose area lies in a chosen range. It shows the
frames in windows, records the marked frames to a new AVI video and keeps a
PNG snapshot of the last marked frame. Without a display it runs headless,
which suits batch processing.")

# A source archive, should anyone make one, leaves out builds and the repository itself.
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/" "/build[^/]*/" "/sample/" "\\\\.avi$" "\\\\.deb$")

include(CPack)
