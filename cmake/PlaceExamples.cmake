# Puts each example description into the program's "ZORV dep files" folder
# where no item of that name is. Whatever stands there already (the user's
# own file, an edited example, a folder, a link) is left exactly as it is.
#
#   cmake -DEXAMPLES=<folder of .dep files> -DFOLDER=<ZORV dep files> -P PlaceExamples.cmake
cmake_minimum_required(VERSION 3.22)

if(NOT EXAMPLES OR NOT FOLDER)
    message(FATAL_ERROR "PlaceExamples: give -DEXAMPLES=<folder> and -DFOLDER=<folder>")
endif()

# A link in place of the folder points at descriptions kept elsewhere, and
# something that is no folder is not ours to replace: examples go to neither.
if(IS_SYMLINK "${FOLDER}")
    message(STATUS "PlaceExamples: ${FOLDER} is a link; no examples added")
    return()
endif()
if(EXISTS "${FOLDER}" AND NOT IS_DIRECTORY "${FOLDER}")
    message(WARNING "PlaceExamples: ${FOLDER} is not a folder; no examples added")
    return()
endif()
file(MAKE_DIRECTORY "${FOLDER}")

file(GLOB examples LIST_DIRECTORIES false "${EXAMPLES}/*.dep")
foreach(example IN LISTS examples)
    get_filename_component(name "${example}" NAME)
    set(target "${FOLDER}/${name}")
    if(EXISTS "${target}" OR IS_SYMLINK "${target}")
        continue()
    endif()
    # Copied under a name the model list ignores, then renamed only if the
    # name is still free: an interrupted build leaves no half file behind a
    # model name, and a file made meanwhile is not replaced.
    set(part "${FOLDER}/.${name}.part")
    file(REMOVE "${part}")
    file(COPY_FILE "${example}" "${part}" RESULT copied)
    if(NOT copied EQUAL 0)
        message(WARNING "PlaceExamples: could not copy ${name}: ${copied}")
        file(REMOVE "${part}")
        continue()
    endif()
    file(RENAME "${part}" "${target}" NO_REPLACE RESULT renamed)
    # The rename that refuses to replace may leave the old name linked too.
    file(REMOVE "${part}")
    if(renamed EQUAL 0)
        message(STATUS "PlaceExamples: added ${target}")
    endif()
endforeach()
