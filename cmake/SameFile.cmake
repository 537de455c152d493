# Whether PATH is a file of SIZE bytes whose SHA-256 is HASH: a copy left as
# it was. Sizes first: a FIFO or a device there has size 0 and is never
# opened, and a large file is never read; a link or a folder is nobody's
# copy.
function(zorv_file_is path size hash out)
    set(${out} FALSE PARENT_SCOPE)
    if(IS_SYMLINK "${path}" OR IS_DIRECTORY "${path}" OR NOT EXISTS "${path}" OR size EQUAL 0)
        return()
    endif()
    file(SIZE "${path}" actual_size)
    if(NOT actual_size EQUAL size)
        return()
    endif()
    file(SHA256 "${path}" actual_hash)
    if(actual_hash STREQUAL hash)
        set(${out} TRUE PARENT_SCOPE)
    endif()
endfunction()
