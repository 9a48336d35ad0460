# The Python package goes where Debian's python3 looks under the install prefix, which is known
# only at install time: lib/python3/dist-packages under /usr (the Debian package's prefix),
# lib/python3.X/dist-packages anywhere else (/usr/local by default, or --prefix DIR).

if(NOT TARGET shapemark_python)
    return()
endif()

# The version of the interpreter the module is built for, e.g. 3.11.
execute_process(COMMAND ${Python_EXECUTABLE} -c "import sys; print('%d.%d' % sys.version_info[:2])"
                OUTPUT_VARIABLE shapemark_python_version OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)

# The module finds the shared library from lib/python3*/dist-packages/shapemark/.
file(RELATIVE_PATH shapemark_python_to_lib /p/lib/python3/dist-packages/shapemark
     /p/${CMAKE_INSTALL_LIBDIR})
string(REGEX REPLACE "/$" "" shapemark_python_to_lib "${shapemark_python_to_lib}")
set(shapemark_python_rpath "$ORIGIN/${shapemark_python_to_lib}")

# The site folder is chosen at install time, and the module installed as a target, so that
# CMake leaves room in its build-tree RUNPATH for the one it gets on install (a build folder
# with a short path would otherwise have none) and strips it with the rest.
set_target_properties(shapemark_python PROPERTIES INSTALL_RPATH "${shapemark_python_rpath}")
install(CODE "
    if(CMAKE_INSTALL_PREFIX MATCHES \"^/usr/?$\")
        set(shapemark_site lib/python3/dist-packages)
    else()
        set(shapemark_site lib/python${shapemark_python_version}/dist-packages)
    endif()
    file(INSTALL ${PROJECT_SOURCE_DIR}/src/python/shapemark/
         DESTINATION \"\${CMAKE_INSTALL_PREFIX}/\${shapemark_site}/shapemark\"
         FILES_MATCHING PATTERN \"*.py\" PATTERN \"*.pyi\" PATTERN \"py.typed\"
         PATTERN __pycache__ EXCLUDE)"
        COMPONENT ${SHAPEMARK_PYTHON_COMPONENT})
install(TARGETS shapemark_python LIBRARY DESTINATION "\${shapemark_site}/shapemark"
        COMPONENT ${SHAPEMARK_PYTHON_COMPONENT})
