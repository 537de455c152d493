# Stops an install before it puts anything in place where the `zorv` command
# it would link is someone else's file. Under `cmake --install` that is an
# error; `make install` runs it first on its own, and then it prints the
# refusal as one line and nothing else:
#
#   cmake -DPREFIX=<prefix> -P InstallCheck.cmake
include(${CMAKE_CURRENT_LIST_DIR}/InstallLayout.cmake)

if(DEFINED PREFIX)
    get_filename_component(prefix "${PREFIX}" ABSOLUTE)
    zorv_install_refusal("$ENV{DESTDIR}${prefix}" refusal)
    if(refusal)
        execute_process(COMMAND ${CMAKE_COMMAND} -E echo "make install: ${refusal}")
    endif()
else()
    zorv_install_refusal("$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}" refusal)
    if(refusal)
        message(FATAL_ERROR "${refusal}")
    endif()
endif()
