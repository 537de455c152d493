# The build's placing of the example descriptions: it adds what is missing
# and leaves whatever a user has in "ZORV dep files" exactly as it was.
#
#   cmake -DSCRIPT=<PlaceExamples.cmake> -DEXAMPLES=<examples> -DWORK=<scratch folder>
#         -DPROGRAM_DIR=<the build's program folder> -P tst_place_examples.cmake
cmake_minimum_required(VERSION 3.22)

include(${CMAKE_CURRENT_LIST_DIR}/support/Expect.cmake)

function(place folder)
    execute_process(COMMAND ${CMAKE_COMMAND} -DEXAMPLES=${EXAMPLES} "-DFOLDER=${folder}" -P ${SCRIPT}
                    RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE errors)
    if(NOT status EQUAL 0)
        fail("placing into ${folder} failed: ${errors}")
    endif()
endfunction()

function(expect_no_leftovers folder)
    file(GLOB leftovers LIST_DIRECTORIES true "${folder}/.*")
    if(leftovers)
        fail("left behind in ${folder}: ${leftovers}")
    endif()
endfunction()

example_descriptions("${EXAMPLES}" examples)
list(GET examples 0 first)
list(GET examples 1 second)
get_filename_component(first_name "${first}" NAME)
get_filename_component(second_name "${second}" NAME)
file(READ "${first}" first_bytes HEX)
file(READ "${second}" second_bytes HEX)

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")

# A fresh program folder gets the folder and every example, byte for byte;
# a second build changes nothing.
set(fresh "${WORK}/fresh/ZORV dep files")
place("${fresh}")
place("${fresh}")
foreach(example IN LISTS examples)
    get_filename_component(name "${example}" NAME)
    file(READ "${example}" bytes HEX)
    expect_bytes("${fresh}/${name}" "${bytes}" "fresh folder")
endforeach()
expect_no_leftovers("${fresh}")

# An edited example and a user's own description stay as they are; the
# example that is missing is added.
set(used "${WORK}/used/ZORV dep files")
file(MAKE_DIRECTORY "${used}")
file(WRITE "${used}/${first_name}" "edited by the user\n")
file(READ "${used}/${first_name}" edited HEX)
file(WRITE "${used}/Mine.dep" "the user's own\n")
file(READ "${used}/Mine.dep" mine HEX)
place("${used}")
expect_bytes("${used}/${first_name}" "${edited}" "edited example")
expect_bytes("${used}/Mine.dep" "${mine}" "user's own file")
expect_bytes("${used}/${second_name}" "${second_bytes}" "missing example")
expect_no_leftovers("${used}")

# A dangling link and a folder under example names are not written through
# or replaced.
set(odd "${WORK}/odd/ZORV dep files")
file(MAKE_DIRECTORY "${odd}/${second_name}")
file(CREATE_LINK "${WORK}/odd/nowhere" "${odd}/${first_name}" SYMBOLIC)
place("${odd}")
if(NOT IS_SYMLINK "${odd}/${first_name}" OR EXISTS "${WORK}/odd/nowhere")
    fail("a link under an example name was written through or replaced")
endif()
if(NOT IS_DIRECTORY "${odd}/${second_name}")
    fail("a folder under an example name was replaced")
endif()
expect_no_leftovers("${odd}")

# "ZORV dep files" as a plain file, or as a link to descriptions kept
# elsewhere: nothing is added and the build goes on.
set(plain "${WORK}/plain/ZORV dep files")
file(WRITE "${plain}" "not a folder\n")
file(READ "${plain}" plain_bytes HEX)
place("${plain}")
expect_bytes("${plain}" "${plain_bytes}" "a file named like the folder")

file(MAKE_DIRECTORY "${WORK}/elsewhere")
file(MAKE_DIRECTORY "${WORK}/linked")
file(CREATE_LINK "${WORK}/elsewhere" "${WORK}/linked/ZORV dep files" SYMBOLIC)
place("${WORK}/linked/ZORV dep files")
file(GLOB added "${WORK}/elsewhere/*")
if(added)
    fail("examples were added through a linked folder: ${added}")
endif()

# The build itself has placed them beside the program (edited or not).
foreach(example IN LISTS examples)
    get_filename_component(name "${example}" NAME)
    if(NOT EXISTS "${PROGRAM_DIR}/ZORV dep files/${name}")
        fail("the build did not place ${name} beside the program")
    endif()
endforeach()

file(REMOVE_RECURSE "${WORK}")
