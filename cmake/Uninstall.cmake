# Removes what `make install` put under PREFIX: the program, the `zorv`
# link, the desktop entry, and the example descriptions a user left as they
# were. A description the user added or edited stays, and with it its
# folder; so does a desktop entry the user edited.
#
#   cmake -DPREFIX=<prefix> -DEXAMPLES=<folder of .dep files> -P Uninstall.cmake
cmake_minimum_required(VERSION 3.22)

if(NOT PREFIX OR NOT EXAMPLES)
    message(FATAL_ERROR "Uninstall: give -DPREFIX=<prefix> and -DEXAMPLES=<folder>")
endif()
include(${CMAKE_CURRENT_LIST_DIR}/InstallLayout.cmake)
get_filename_component(PREFIX "${PREFIX}" ABSOLUTE)

set(program_dir "${PREFIX}/${ZORV_PROGRAM_DIR}")
set(folder "${program_dir}/ZORV dep files")

# The command is removed only while it is a link to the program, not a
# `zorv` of some other origin, and the desktop entry only while it holds
# what the install wrote.
zorv_command_is_ours("${PREFIX}" ours)
if(ours)
    file(REMOVE "${PREFIX}/${ZORV_COMMAND}")
endif()
file(REMOVE "${program_dir}/zorv")
zorv_desktop_entry_state("${PREFIX}" "${PREFIX}" entry text state)
if(state STREQUAL "installed")
    file(REMOVE "${entry}")
elseif(state STREQUAL "the user's")
    message(STATUS "Uninstall: kept your own ${entry}")
endif()

execute_process(COMMAND ${CMAKE_COMMAND} "-DEXAMPLES=${EXAMPLES}" "-DFOLDER=${folder}"
                        -P ${CMAKE_CURRENT_LIST_DIR}/RemoveExamples.cmake
                RESULT_VARIABLE removed)
if(NOT removed EQUAL 0)
    message(FATAL_ERROR "Uninstall: could not look through ${folder}")
endif()
if(EXISTS "${folder}" OR IS_SYMLINK "${folder}")
    message(STATUS "Uninstall: kept your descriptions in ${folder}")
else()
    file(GLOB left LIST_DIRECTORIES true "${program_dir}/*" "${program_dir}/.*")
    if(IS_DIRECTORY "${program_dir}" AND NOT left)
        file(REMOVE_RECURSE "${program_dir}")
    endif()
endif()
