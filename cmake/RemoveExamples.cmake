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

file(GLOB examples LIST_DIRECTORIES false "${EXAMPLES}/*.dep")
foreach(example IN LISTS examples)
    get_filename_component(name "${example}" NAME)
    set(copy "${FOLDER}/${name}")
    if(IS_SYMLINK "${copy}" OR IS_DIRECTORY "${copy}" OR NOT EXISTS "${copy}")
        continue()
    endif()
    # Sizes first: a FIFO or a device under that name has size 0 and is
    # never opened, and a large file is never read.
    file(SIZE "${example}" example_size)
    file(SIZE "${copy}" copy_size)
    if(NOT copy_size EQUAL example_size OR example_size EQUAL 0)
        continue()
    endif()
    file(SHA256 "${example}" example_hash)
    file(SHA256 "${copy}" copy_hash)
    if(copy_hash STREQUAL example_hash)
        file(REMOVE "${copy}")
    endif()
endforeach()

file(GLOB left LIST_DIRECTORIES true "${FOLDER}/*" "${FOLDER}/.*")
if(NOT left)
    file(REMOVE_RECURSE "${FOLDER}")
endif()
