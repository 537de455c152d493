# Removes what `make install` put under PREFIX: the program, the `zorv`
# link, the desktop entry, and the example descriptions a user left as they
# were. A description the user added or edited stays, and with it its folder.
#
#   cmake -DPREFIX=<prefix> -DEXAMPLES=<folder of .dep files> -P Uninstall.cmake
cmake_minimum_required(VERSION 3.22)

if(NOT PREFIX OR NOT EXAMPLES)
    message(FATAL_ERROR "Uninstall: give -DPREFIX=<prefix> and -DEXAMPLES=<folder>")
endif()
include(${CMAKE_CURRENT_LIST_DIR}/InstallLayout.cmake)

set(program_dir "${PREFIX}/${ZORV_PROGRAM_DIR}")
set(folder "${program_dir}/ZORV dep files")

# The command is removed only while it is a link to the program, not a
# `zorv` of some other origin.
if(IS_SYMLINK "${PREFIX}/${ZORV_COMMAND}")
    get_filename_component(command_dir "${PREFIX}/${ZORV_COMMAND}" DIRECTORY)
    file(READ_SYMLINK "${PREFIX}/${ZORV_COMMAND}" target)
    file(RELATIVE_PATH ours "${command_dir}" "${program_dir}/zorv")
    if(target STREQUAL ours)
        file(REMOVE "${PREFIX}/${ZORV_COMMAND}")
    endif()
endif()
file(REMOVE "${program_dir}/zorv" "${PREFIX}/${ZORV_DESKTOP_ENTRY}")

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
