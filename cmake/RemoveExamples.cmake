# Removes from a "ZORV dep files" folder each example description that is
# still as the examples have it, and the folder itself once it is empty.
# Anything else (a user's own file, an edited example, a link, a folder)
# stays exactly as it is.
#
#   cmake -DEXAMPLES=<folder of .dep files> -DFOLDER=<ZORV dep files> -P RemoveExamples.cmake
cmake_minimum_required(VERSION 3.22)

if(NOT EXAMPLES OR NOT FOLDER)
    message(FATAL_ERROR "RemoveExamples: give -DEXAMPLES=<folder> and -DFOLDER=<folder>")
endif()
if(IS_SYMLINK "${FOLDER}" OR NOT IS_DIRECTORY "${FOLDER}")
    return()
endif()
include(${CMAKE_CURRENT_LIST_DIR}/SameFile.cmake)

file(GLOB examples LIST_DIRECTORIES false "${EXAMPLES}/*.dep")
foreach(example IN LISTS examples)
    get_filename_component(name "${example}" NAME)
    set(copy "${FOLDER}/${name}")
    file(SIZE "${example}" size)
    file(SHA256 "${example}" hash)
    zorv_file_is("${copy}" "${size}" "${hash}" unchanged)
    if(unchanged)
        file(REMOVE "${copy}")
    endif()
endforeach()

file(GLOB left LIST_DIRECTORIES true "${FOLDER}/*" "${FOLDER}/.*")
if(NOT left)
    file(REMOVE_RECURSE "${FOLDER}")
endif()
