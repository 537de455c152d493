# `make install` and `make uninstall` into temporary prefixes: what install
# puts in place, that a description or a desktop entry the user added or
# edited outlives a second install and the uninstall, and that a `zorv`
# command of another origin stops the install before it changes anything.
#
#   cmake -DBUILD=<build folder> -DSOURCE=<source folder> -DMAKE=<make> -DWORK=<scratch folder>
#         -P tst_install.cmake
cmake_minimum_required(VERSION 3.22)

include(${CMAKE_CURRENT_LIST_DIR}/support/Expect.cmake)

function(run what)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE errors)
    if(NOT status EQUAL 0)
        fail("${what} failed: ${errors}")
    endif()
endfunction()

function(install_into prefix)
    run("install into ${prefix}" ${CMAKE_COMMAND} --install ${BUILD} --prefix ${prefix})
endfunction()

function(uninstall_from prefix)
    run("uninstall from ${prefix}" ${CMAKE_COMMAND} -DPREFIX=${prefix} -DEXAMPLES=${SOURCE}/examples
        -P ${SOURCE}/cmake/Uninstall.cmake)
endfunction()

function(expect_gone path what)
    if(EXISTS "${path}" OR IS_SYMLINK "${path}")
        fail("${what}: ${path} is still there")
    endif()
endfunction()

example_descriptions("${SOURCE}/examples" examples)
list(GET examples 0 first)
list(GET examples 1 second)
get_filename_component(first_name "${first}" NAME)
get_filename_component(second_name "${second}" NAME)
file(READ "${second}" second_bytes HEX)

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")

# A fresh prefix gets the program, its descriptions beside it, the command
# that starts it and a desktop entry that runs the command.
set(prefix "${WORK}/prefix")
set(program "${prefix}/lib/zorv/zorv")
set(folder "${prefix}/lib/zorv/ZORV dep files")
install_into("${prefix}")
if(IS_SYMLINK "${program}" OR NOT EXISTS "${program}")
    fail("no program at ${program}")
endif()
if(NOT IS_SYMLINK "${prefix}/bin/zorv")
    fail("no link ${prefix}/bin/zorv")
else()
    file(REAL_PATH "${prefix}/bin/zorv" command)
    file(REAL_PATH "${program}" real_program)
    if(NOT command STREQUAL real_program)
        fail("${prefix}/bin/zorv leads to ${command}, not to the program")
    endif()
endif()
foreach(example IN LISTS examples)
    get_filename_component(name "${example}" NAME)
    file(READ "${example}" bytes HEX)
    expect_bytes("${folder}/${name}" "${bytes}" "fresh install")
endforeach()
set(entry "${prefix}/share/applications/zorv.desktop")
if(NOT EXISTS "${entry}")
    fail("no desktop entry at ${entry}")
else()
    file(STRINGS "${entry}" exec REGEX "^Exec=")
    if(NOT exec STREQUAL "Exec=\"${prefix}/bin/zorv\"")
        fail("the desktop entry runs ${exec}")
    endif()
endif()

# An edited example and a description of the user's own outlive a second
# install and the uninstall; the untouched example goes with the program.
file(WRITE "${folder}/${first_name}" "edited by the user\n")
file(READ "${folder}/${first_name}" edited HEX)
file(WRITE "${folder}/Mine.dep" "the user's own\n")
file(READ "${folder}/Mine.dep" mine HEX)
install_into("${prefix}")
expect_bytes("${folder}/${first_name}" "${edited}" "edited example after a second install")
expect_bytes("${folder}/Mine.dep" "${mine}" "user's own file after a second install")
expect_bytes("${folder}/${second_name}" "${second_bytes}" "untouched example after a second install")

uninstall_from("${prefix}")
expect_gone("${program}" "uninstall")
expect_gone("${prefix}/bin/zorv" "uninstall")
expect_gone("${entry}" "uninstall")
expect_gone("${folder}/${second_name}" "uninstall of the untouched example")
expect_bytes("${folder}/${first_name}" "${edited}" "edited example after uninstall")
expect_bytes("${folder}/Mine.dep" "${mine}" "user's own file after uninstall")

# Where the user kept nothing, uninstall leaves no folder of the program's.
set(clean "${WORK}/clean")
install_into("${clean}")
uninstall_from("${clean}")
expect_gone("${clean}/lib/zorv" "uninstall of an untouched install")

# A FIFO and a link under the examples' names are neither opened nor
# removed, nor is the file the link leads to.
set(odd "${WORK}/odd")
set(odd_folder "${odd}/lib/zorv/ZORV dep files")
install_into("${odd}")
file(REMOVE "${odd_folder}/${first_name}" "${odd_folder}/${second_name}")
run("mkfifo" mkfifo "${odd_folder}/${first_name}")
file(COPY_FILE "${second}" "${WORK}/kept.dep")
file(CREATE_LINK "${WORK}/kept.dep" "${odd_folder}/${second_name}" SYMBOLIC)
uninstall_from("${odd}")
if(NOT EXISTS "${odd_folder}/${first_name}" OR NOT IS_SYMLINK "${odd_folder}/${second_name}")
    fail("uninstall removed a FIFO or a link under an example's name")
endif()
expect_bytes("${WORK}/kept.dep" "${second_bytes}" "the file a link under an example's name leads to")

# A desktop entry the user edited, or had before the first install, or
# something else under its name, outlives a second install and the
# uninstall: not rewritten, written through, opened or removed.
foreach(kind edited own fifo link)
    set(kept "${WORK}/entry-${kind}")
    set(kept_entry "${kept}/share/applications/zorv.desktop")
    file(MAKE_DIRECTORY "${kept}/share/applications")
    if(kind STREQUAL "edited")
        install_into("${kept}")
        file(APPEND "${kept_entry}" "Icon=zorv\n")
    elseif(kind STREQUAL "own")
        file(WRITE "${kept_entry}" "[Desktop Entry]\nName=My ZORV\nExec=/opt/my/zorv\n")
    elseif(kind STREQUAL "fifo")
        run("mkfifo" mkfifo "${kept_entry}")
    else()
        file(WRITE "${WORK}/my.desktop" "[Desktop Entry]\nName=Mine\n")
        file(CREATE_LINK "${WORK}/my.desktop" "${kept_entry}" SYMBOLIC)
    endif()
    if(NOT kind STREQUAL "fifo")
        file(READ "${kept_entry}" before HEX)
    endif()
    install_into("${kept}")
    if(kind STREQUAL "edited" OR kind STREQUAL "own")
        expect_bytes("${kept_entry}" "${before}" "desktop entry of the user's (${kind}) after install")
    endif()
    uninstall_from("${kept}")
    expect_gone("${kept}/bin/zorv" "uninstall beside a desktop entry of the user's (${kind})")
    if(kind STREQUAL "fifo")
        execute_process(COMMAND test -p "${kept_entry}" RESULT_VARIABLE not_fifo)
        if(NOT not_fifo EQUAL 0)
            fail("a FIFO in place of the desktop entry did not stay")
        endif()
    elseif(kind STREQUAL "link")
        if(NOT IS_SYMLINK "${kept_entry}")
            fail("a link in place of the desktop entry did not stay")
        endif()
        expect_bytes("${WORK}/my.desktop" "${before}" "the file a link in place of the desktop entry leads to")
    else()
        expect_bytes("${kept_entry}" "${before}" "desktop entry of the user's (${kind}) after install and uninstall")
    endif()
endforeach()

# A `zorv` command of another origin stops `make install` (in one line
# naming it) and `cmake --install` alike, before anything is put in place:
# the prefix holds that file alone, as it was.
function(expect_stopped what prefix)
    file(GLOB_RECURSE before LIST_DIRECTORIES true "${prefix}/*")
    execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=MAKEFLAGS --unset=MFLAGS --unset=MAKELEVEL
                            ${MAKE} -o program install BUILD=${BUILD} PREFIX=${prefix}
                    WORKING_DIRECTORY ${SOURCE} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
    string(REGEX REPLACE "(^|\n)make(\\[[0-9]+\\])?: \\*\\*\\*[^\n]*" "" err "${err}")
    string(STRIP "${err}" err)
    set(line "make install: ${prefix}/bin/zorv is not the link ZORV installs; move it away or choose another PREFIX. Nothing was installed.")
    if(status EQUAL 0 OR NOT err STREQUAL line OR NOT out STREQUAL "")
        fail("make install over ${what}: status ${status}, said \"${err}\" and \"${out}\", not \"${line}\"")
    endif()
    execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${prefix}
                    RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE err)
    string(REGEX REPLACE "[ \n]+" " " err "${err}")
    string(FIND "${err}" "${prefix}/bin/zorv is not the link ZORV installs" named)
    if(status EQUAL 0 OR named LESS 0)
        fail("cmake --install over ${what}: status ${status}, said \"${err}\"")
    endif()
    file(GLOB_RECURSE after LIST_DIRECTORIES true "${prefix}/*")
    if(NOT after STREQUAL before)
        fail("an install over ${what} left ${after}, not ${before}")
    endif()
endfunction()

set(foreign "${WORK}/foreign")
file(WRITE "${foreign}/bin/zorv" "#!/bin/sh\necho another zorv\n")
file(READ "${foreign}/bin/zorv" script HEX)
expect_stopped("a script of the user's" "${foreign}")
expect_bytes("${foreign}/bin/zorv" "${script}" "a script of the user's named zorv")

foreach(target "/usr/bin/true" "../lib/other/zorv")
    set(linked "${WORK}/linked")
    file(REMOVE_RECURSE "${linked}")
    file(MAKE_DIRECTORY "${linked}/bin")
    file(CREATE_LINK "${target}" "${linked}/bin/zorv" SYMBOLIC)
    expect_stopped("a link to ${target}" "${linked}")
    file(READ_SYMLINK "${linked}/bin/zorv" still)
    if(NOT still STREQUAL target)
        fail("the link to ${target} named zorv now leads to ${still}")
    endif()
endforeach()

file(REMOVE_RECURSE "${WORK}")
