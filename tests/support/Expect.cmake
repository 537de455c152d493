# Checks shared by the CMake script tests.

function(fail text)
    message(SEND_ERROR "FAIL: ${text}")
endfunction()

# The example descriptions in FOLDER; the test needs two at least.
function(example_descriptions folder out)
    file(GLOB examples "${folder}/*.dep")
    list(LENGTH examples count)
    if(count LESS 2)
        message(FATAL_ERROR "FAIL: expected the example descriptions in ${folder}")
    endif()
    set(${out} "${examples}" PARENT_SCOPE)
endfunction()

function(expect_bytes path expected what)
    if(IS_SYMLINK "${path}" OR NOT EXISTS "${path}" OR IS_DIRECTORY "${path}")
        fail("${what}: ${path} is no file")
        return()
    endif()
    file(READ "${path}" actual HEX)
    if(NOT actual STREQUAL expected)
        fail("${what}: ${path} has other bytes")
    endif()
endfunction()
