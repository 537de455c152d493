# Runs at install time, after the program is in place: its example
# descriptions beside it (as a build places them, never over a file of that
# name), the `zorv` command linked to it, and a desktop entry where the user
# has none of their own. ZORV_EXAMPLES is set by the install rules.
include(${CMAKE_CURRENT_LIST_DIR}/InstallLayout.cmake)

set(root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")

execute_process(COMMAND ${CMAKE_COMMAND} "-DEXAMPLES=${ZORV_EXAMPLES}"
                        "-DFOLDER=${root}/${ZORV_PROGRAM_DIR}/ZORV dep files"
                        -P ${CMAKE_CURRENT_LIST_DIR}/PlaceExamples.cmake
                RESULT_VARIABLE placed)
if(NOT placed EQUAL 0)
    message(FATAL_ERROR "Could not place the example descriptions")
endif()

# A link, not a copy: the program finds its descriptions beside the file it
# really is, and the system resolves the link for it. Only a link of ours is
# replaced: InstallCheck.cmake has stopped the install, before anything was
# put in place, where a `zorv` of another origin stands.
zorv_command_target("${root}" target)
get_filename_component(command_dir "${root}/${ZORV_COMMAND}" DIRECTORY)
file(MAKE_DIRECTORY "${command_dir}")
file(REMOVE "${root}/${ZORV_COMMAND}")
file(CREATE_LINK "${target}" "${root}/${ZORV_COMMAND}" SYMBOLIC)
message(STATUS "Installing: ${root}/${ZORV_COMMAND} -> ${target}")

# The desktop entry is written where there is none; one that holds what an
# install writes is ours and stays as it is, and any other the user's.
zorv_desktop_entry_state("${root}" "${CMAKE_INSTALL_PREFIX}" entry text state)
if(state STREQUAL "none")
    file(WRITE "${entry}" "${text}")
    message(STATUS "Installing: ${entry}")
elseif(state STREQUAL "installed")
    message(STATUS "Up-to-date: ${entry}")
else()
    message(STATUS "Kept your own ${entry}")
endif()
