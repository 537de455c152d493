# Checks shared by the CMake script tests.

function(fail text)
    message(SEND_ERROR "FAIL: ${text}")
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
