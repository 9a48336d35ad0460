# Install rules and the Debian packages.
#
#   cmake --install BUILD [--prefix DIR]      (DIR is /usr/local unless given)
#     bin/shapemark, LIBDIR/libshapemark.so.*         the tool and the library it runs on
#     include/shapemark/, LIBDIR/cmake/shapemark/, LIBDIR/pkgconfig/shapemark.pc
#     lib/python3.X/dist-packages/shapemark/           lib/python3/dist-packages/ under /usr
#     share/man/man1/shapemark.1.gz, share/bash-completion/completions/shapemark
#     share/shapemark/shapemark-array.sbatch          the Slurm job-array script
#   cpack -G DEB  (run from BUILD)             one package per component below:
#     shapemark_VERSION_ARCH.deb, libshapemark-dev_..., python3-shapemark_...

include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# Install components, one per Debian package.
set(SHAPEMARK_RUNTIME_COMPONENT runtime)  # the tool, the shared library, man page, completion
set(SHAPEMARK_DEV_COMPONENT dev)          # headers, CMake package, pkg-config file
set(SHAPEMARK_PYTHON_COMPONENT python)    # the Python package

# The tool and the Python module find the library relative to themselves, so an install runs
# from any prefix, or moved elsewhere, without LD_LIBRARY_PATH.
file(RELATIVE_PATH shapemark_bin_to_lib /p/${CMAKE_INSTALL_BINDIR} /p/${CMAKE_INSTALL_LIBDIR})
set_target_properties(shapemark PROPERTIES INSTALL_RPATH "$ORIGIN/${shapemark_bin_to_lib}")
install(TARGETS shapemark RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        COMPONENT ${SHAPEMARK_RUNTIME_COMPONENT})

include(${CMAKE_CURRENT_LIST_DIR}/install_library.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/install_python.cmake)

# The job script for marking an archive on a Slurm cluster, one video an array task.
install(PROGRAMS ${PROJECT_SOURCE_DIR}/tools/cluster/shapemark-array.sbatch
        DESTINATION ${CMAKE_INSTALL_DATADIR}/shapemark COMPONENT ${SHAPEMARK_RUNTIME_COMPONENT})

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
# Built with the tool, since they install with it: a build of the tool alone installs whole.
add_dependencies(shapemark shapemark_docs)
install(FILES ${SHAPEMARK_COMPLETION} DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        COMPONENT ${SHAPEMARK_RUNTIME_COMPONENT})

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
    add_dependencies(shapemark shapemark_man)
    install(FILES ${SHAPEMARK_MAN_GZ} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
            COMPONENT ${SHAPEMARK_RUNTIME_COMPONENT})
else()
    install(FILES ${SHAPEMARK_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
            COMPONENT ${SHAPEMARK_RUNTIME_COMPONENT})
endif()

# The Debian packages, one per install component, as Debian splits a library:
#   shapemark          the tool, the shared library, the man page, the completion and the
#                      Slurm job script
#   libshapemark-dev   the headers, the CMake package and the .pc file
#   python3-shapemark  the Python package
# Their library dependencies come from dpkg-shlibdeps (package dpkg-dev), which reads the
# libraries the installed binaries link, so they follow the OpenCV that built them.
set(SHAPEMARK_MAINTAINER "shapemark developers <shapemark-devel@example.org>"
    CACHE STRING "Maintainer field of the Debian packages: Name <e-mail>")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME shapemark)
set(CPACK_PACKAGE_VENDOR "shapemark developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${SHAPEMARK_RUNTIME_COMPONENT} ${SHAPEMARK_DEV_COMPONENT})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # PACKAGE_VERSION_ARCH.deb
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${SHAPEMARK_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The other packages ask for exactly this version of the library.
set(shapemark_same_version "shapemark (= ${PROJECT_VERSION})")

string(TOUPPER ${SHAPEMARK_RUNTIME_COMPONENT} runtime)
set(CPACK_DEBIAN_${runtime}_PACKAGE_NAME shapemark)
set(CPACK_DEBIAN_${runtime}_PACKAGE_SECTION video)
set(CPACK_DEBIAN_${runtime}_PACKAGE_SHLIBDEPS ON)
# A shlibs file, so that packages built on the library depend on this one. CPack has no
# per-package switch; the Python module, which has no soname, gets no entry.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
# The first line is the summary; CPack indents the others.
set(CPACK_DEBIAN_${runtime}_DESCRIPTION
    "mark simple convex shapes in a recorded video
shapemark reads a video frame by frame and outlines in green every convex
polygon of 3 to 8 vertices whose area lies in a chosen range. It shows the
frames in windows, records the marked frames to a new AVI video and keeps a
PNG snapshot of the last marked frame. Without a display it runs headless,
which suits batch processing. The detector is a shared library of its own.")

string(TOUPPER ${SHAPEMARK_DEV_COMPONENT} dev)
set(CPACK_DEBIAN_${dev}_PACKAGE_NAME libshapemark-dev)
set(CPACK_DEBIAN_${dev}_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_${dev}_PACKAGE_DEPENDS "libopencv-dev, ${shapemark_same_version}")
set(CPACK_DEBIAN_${dev}_DESCRIPTION
    "shape detector library: development files
The header, the CMake package (find_package(shapemark), target
shapemark::shapemark) and the pkg-config module (shapemark) for building
programs on the shape detector of shapemark.")

if(TARGET shapemark_python)
    list(APPEND CPACK_COMPONENTS_ALL ${SHAPEMARK_PYTHON_COMPONENT})
    string(TOUPPER ${SHAPEMARK_PYTHON_COMPONENT} python)
    set(CPACK_DEBIAN_${python}_PACKAGE_NAME python3-shapemark)
    set(CPACK_DEBIAN_${python}_PACKAGE_SECTION python)
    set(CPACK_DEBIAN_${python}_PACKAGE_SHLIBDEPS ON)
    # The module links the library of the shapemark package, which is not installed yet:
    # dpkg-shlibdeps finds it in the build tree, and the dependency is stated below.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR})
    # The compiled module is built for this one Python version and Debian's numpy.
    string(REPLACE "." ";" shapemark_python_next ${shapemark_python_version})
    list(GET shapemark_python_next 1 minor)
    math(EXPR minor "${minor} + 1")
    list(GET shapemark_python_next 0 shapemark_python_next)
    string(APPEND shapemark_python_next ".${minor}")
    set(CPACK_DEBIAN_${python}_PACKAGE_DEPENDS
        "python3 (>= ${shapemark_python_version}), python3 (<< ${shapemark_python_next}), python3-numpy, ${shapemark_same_version}")
    # Byte-code: compiled on install, removed before the files go.
    set(package ${CPACK_DEBIAN_${python}_PACKAGE_NAME})
    foreach(script postinst prerm)
        configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/python-${script}.in
                       ${PROJECT_BINARY_DIR}/debian/python/${script} @ONLY)
        list(APPEND CPACK_DEBIAN_${python}_PACKAGE_CONTROL_EXTRA
             ${PROJECT_BINARY_DIR}/debian/python/${script})
    endforeach()
    set(CPACK_DEBIAN_${python}_DESCRIPTION
        "shape detector of shapemark for Python 3
import shapemark: detect and draw the simple convex shapes of an image given
as a numpy array, and iterate over the processed frames of a video with
their shapes.")
endif()

# A source archive, should anyone make one, leaves out builds and the repository itself.
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/" "/build[^/]*/" "/sample/" "\\\\.avi$" "\\\\.deb$")

include(CPack)
