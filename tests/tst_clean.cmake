# `make clean` in a throwaway copy of the checkout (its Makefile, cmake/,
# tools/ and examples/, a stand-in for the rest, and a CMake project small
# enough to configure in an instant), never in the checkout itself: what it
# refuses, what it removes and what it leaves.
#
#   cmake -DSOURCE=<source folder> -DMAKE=<make> -DWORK=<scratch folder> -P tst_clean.cmake
cmake_minimum_required(VERSION 3.22)

include(${CMAKE_CURRENT_LIST_DIR}/support/Expect.cmake)

if(NOT IS_ABSOLUTE "${WORK}" OR NOT IS_DIRECTORY "${SOURCE}/tools" OR NOT MAKE)
    message(FATAL_ERROR "FAIL: give -DSOURCE=<source folder> -DMAKE=<make> -DWORK=<absolute folder>")
endif()

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
file(REAL_PATH "${WORK}" WORK)
# `BUILD=..` names this folder, so nothing outside it is ever in reach.
set(parent "${WORK}/parent")
set(checkout "${parent}/checkout")
set(other "${parent}/other")
set(notes "${parent}/notes")

example_descriptions("${SOURCE}/examples" examples)
list(GET examples 0 first)
get_filename_component(first_name "${first}" NAME)

function(configure source build)
    execute_process(COMMAND ${CMAKE_COMMAND} -S ${source} -B ${build}
                    RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE errors)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "FAIL: configuring ${build}: ${errors}")
    endif()
endfunction()

# The copy of the checkout, the source and build of another project beside
# it, and a folder of the user's notes.
function(fresh_tree)
    file(REMOVE_RECURSE "${parent}")
    file(MAKE_DIRECTORY "${checkout}/.git" "${checkout}/framework" "${other}" "${notes}/deeper")
    file(COPY "${SOURCE}/Makefile" "${SOURCE}/cmake" "${SOURCE}/tools" "${SOURCE}/examples"
         DESTINATION "${checkout}")
    file(WRITE "${checkout}/.git/HEAD" "ref: refs/heads/main\n")
    file(WRITE "${checkout}/framework/Strings.cpp" "// the source\n")
    set(project "cmake_minimum_required(VERSION 3.22)\nproject(zorv NONE)\n")
    file(WRITE "${checkout}/CMakeLists.txt" "${project}")
    file(WRITE "${other}/CMakeLists.txt" "${project}")
    configure("${other}" "${other}/build")
    file(WRITE "${notes}/todo.txt" "the user's\n")
    file(WRITE "${notes}/deeper/ramp.txt" "0,0\n")
endfunction()

function(listing out)
    file(GLOB_RECURSE entries LIST_DIRECTORIES true RELATIVE "${parent}" "${parent}/*")
    list(SORT entries)
    set(${out} "${entries}" PARENT_SCOPE)
endfunction()

# Runs `make clean ARGS...` in the copy; make's own "***" lines are left out
# of what it says on stderr.
function(clean status_var out_var err_var)
    if(NOT EXISTS "${checkout}/Makefile")
        message(FATAL_ERROR "FAIL: no copy of the checkout at ${checkout}")
    endif()
    execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=MAKEFLAGS --unset=MFLAGS --unset=MAKELEVEL
                            ${MAKE} clean ${ARGN}
                    WORKING_DIRECTORY "${checkout}"
                    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
    string(REGEX REPLACE "(^|\n)make(\\[[0-9]+\\])?: \\*\\*\\*[^\n]*" "" err "${err}")
    string(STRIP "${err}" err)
    string(STRIP "${out}" out)
    set(${status_var} "${status}" PARENT_SCOPE)
    set(${out_var} "${out}" PARENT_SCOPE)
    set(${err_var} "${err}" PARENT_SCOPE)
endfunction()

# Refused: a failing exit, the one line that says why, and every file where
# it was.
function(expect_refused what why)
    string(JOIN " " arguments ${ARGN})
    listing(before)
    clean(status out err ${ARGN})
    listing(after)
    if(status EQUAL 0)
        fail("${what}: make clean ${arguments} succeeded")
    endif()
    set(line "make clean: ${why}; nothing was removed.")
    if(NOT err STREQUAL line)
        fail("${what}: make clean ${arguments} said \"${err}\", not \"${line}\"")
    endif()
    if(NOT out STREQUAL "")
        fail("${what}: make clean ${arguments} printed \"${out}\"")
    endif()
    if(NOT after STREQUAL before)
        list(REMOVE_ITEM before ${after})
        fail("${what}: make clean ${arguments} removed ${before}")
    endif()
endfunction()

# Folders that are no build of this checkout, as any of the three builds.
foreach(row
        "the checkout|BUILD=.|. holds no CMakeCache.txt, so it is no build folder"
        "the folder above|BUILD=..|.. holds no CMakeCache.txt, so it is no build folder"
        "a folder of the user's|BUILD=../notes|../notes holds no CMakeCache.txt, so it is no build folder"
        "the checkout as the sanitizer build|SAN_BUILD=.|. holds no CMakeCache.txt, so it is no build folder"
        "the folder above as the fuzz build|FUZZ_BUILD=..|.. holds no CMakeCache.txt, so it is no build folder"
        "another project's build|BUILD=${other}/build|${other}/build is a build of ${other}, not of ${checkout}")
    string(REPLACE "|" ";" row "${row}")
    list(GET row 0 what)
    list(GET row 1 argument)
    list(GET row 2 why)
    fresh_tree()
    expect_refused("${what}" "${why}" "${argument}")
endforeach()

# A CMakeCache.txt of this checkout is no proof where CMake did not make it
# for the folder it lies in.
fresh_tree()
configure("${checkout}" "${checkout}/build")
file(COPY "${checkout}/build/CMakeCache.txt" DESTINATION "${notes}")
expect_refused("a build's cache copied among the user's files"
               "../notes holds a CMakeCache.txt that CMake made for ${checkout}/build" BUILD=../notes)

# A build made in the source folder is this checkout's build, and its
# source all the same. (Its Makefile is put back, as a generator that writes
# none, such as Ninja, would have left it.)
fresh_tree()
configure("${checkout}" "${checkout}")
file(COPY_FILE "${SOURCE}/Makefile" "${checkout}/Makefile")
expect_refused("a build in the source folder" ". holds the checkout ${checkout} itself" BUILD=.)

# A link is not followed to the build it leads to.
fresh_tree()
configure("${checkout}" "${checkout}/build")
file(CREATE_LINK "${checkout}/build" "${checkout}/linked" SYMBOLIC)
expect_refused("a link to a build" "linked is a link, not a build folder" BUILD=linked)

# One folder refused, and the real build named with it stays whole too.
fresh_tree()
configure("${checkout}" "${checkout}/build")
expect_refused("a build named with a folder of the user's"
               "../notes holds no CMakeCache.txt, so it is no build folder" BUILD=build SAN_BUILD=../notes)

# Real builds of the checkout go, the three of them, all but the
# descriptions the user added or edited; a link inside a build goes without
# what it leads to.
fresh_tree()
foreach(build build build-sanitize build-fuzz)
    configure("${checkout}" "${checkout}/${build}")
    file(MAKE_DIRECTORY "${checkout}/${build}/tests/deeper")
    file(WRITE "${checkout}/${build}/tests/deeper/made.txt" "made by the build\n")
endforeach()
set(folder "${checkout}/build/ZORV dep files")
file(COPY ${examples} DESTINATION "${folder}")
file(WRITE "${folder}/${first_name}" "edited by the user\n")
file(READ "${folder}/${first_name}" edited HEX)
file(WRITE "${folder}/Mine.dep" "the user's own\n")
file(READ "${folder}/Mine.dep" mine HEX)
file(CREATE_LINK "${notes}" "${checkout}/build/notes" SYMBOLIC)
listing(before)
clean(status out err)
listing(after)
if(NOT status EQUAL 0 OR NOT err STREQUAL "")
    fail("make clean of real builds failed (${status}): ${err}")
endif()
if(NOT out STREQUAL "make clean: kept your descriptions in build/ZORV dep files/")
    fail("make clean of real builds said \"${out}\"")
endif()
list(FILTER before EXCLUDE REGEX "^checkout/build")
list(APPEND before checkout/build "checkout/build/ZORV dep files"
     "checkout/build/ZORV dep files/${first_name}" "checkout/build/ZORV dep files/Mine.dep")
list(SORT before)
if(NOT after STREQUAL before)
    fail("make clean of real builds left ${after}, not ${before}")
endif()
expect_bytes("${folder}/${first_name}" "${edited}" "edited example after make clean")
expect_bytes("${folder}/Mine.dep" "${mine}" "user's own description after make clean")

file(REMOVE_RECURSE "${WORK}")
