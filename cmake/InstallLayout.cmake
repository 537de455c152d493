# Where `make install` puts things under its prefix, and what it writes
# there; read by the install and the uninstall alike.
set(ZORV_PROGRAM_DIR lib/zorv)
set(ZORV_COMMAND bin/zorv)
set(ZORV_DESKTOP_ENTRY share/applications/zorv.desktop)

# The `zorv` command under ROOT is a link to the program, relative to it.
function(zorv_command_target root out)
    get_filename_component(command_dir "${root}/${ZORV_COMMAND}" DIRECTORY)
    file(RELATIVE_PATH target "${command_dir}" "${root}/${ZORV_PROGRAM_DIR}/zorv")
    set(${out} "${target}" PARENT_SCOPE)
endfunction()

# Whether the `zorv` command under ROOT is the link an install made, not a
# `zorv` of some other origin.
function(zorv_command_is_ours root out)
    set(${out} FALSE PARENT_SCOPE)
    if(IS_SYMLINK "${root}/${ZORV_COMMAND}")
        file(READ_SYMLINK "${root}/${ZORV_COMMAND}" target)
        zorv_command_target("${root}" ours)
        if(target STREQUAL ours)
            set(${out} TRUE PARENT_SCOPE)
        endif()
    endif()
endfunction()

# Why nothing may be installed under ROOT, or nothing when it may: a `zorv`
# command there that is not the install's own link belongs to someone else.
function(zorv_install_refusal root out)
    set(command "${root}/${ZORV_COMMAND}")
    zorv_command_is_ours("${root}" ours)
    if(ours OR (NOT EXISTS "${command}" AND NOT IS_SYMLINK "${command}"))
        set(${out} "" PARENT_SCOPE)
    else()
        set(${out} "${command} is not the link ZORV installs; move it away or choose another PREFIX. Nothing was installed." PARENT_SCOPE)
    endif()
endfunction()

# The desktop entry an install under PREFIX writes. Its Exec line quotes the
# command's path and escapes what a quoted argument may not hold as it stands.
function(zorv_desktop_entry prefix out)
    set(exec "${prefix}/${ZORV_COMMAND}")
    string(REPLACE "\\" "\\\\" exec "${exec}")
    foreach(special "\"" "`" "$")
        string(REPLACE "${special}" "\\${special}" exec "${exec}")
    endforeach()
    string(REPLACE "\\" "\\\\" exec "${exec}")
    string(REPLACE "%" "%%" exec "${exec}")
    set(${out} "[Desktop Entry]
Type=Application
Name=ZORV
Comment=Play a voltage waveform through a bench power supply
Exec=\"${exec}\"
Terminal=false
Categories=Science;Electronics;
" PARENT_SCOPE)
endfunction()

# Whether PATH is a file that holds exactly TEXT. Sizes first: a FIFO or a
# device there has size 0 and is never opened, and a large file is never
# read; a link or a folder is nobody's copy.
function(zorv_file_holds path text out)
    set(${out} FALSE PARENT_SCOPE)
    if(IS_SYMLINK "${path}" OR IS_DIRECTORY "${path}" OR NOT EXISTS "${path}")
        return()
    endif()
    file(SIZE "${path}" size)
    string(LENGTH "${text}" length)
    if(NOT size EQUAL length OR length EQUAL 0)
        return()
    endif()
    file(READ "${path}" bytes HEX)
    string(HEX "${text}" expected)
    if(bytes STREQUAL expected)
        set(${out} TRUE PARENT_SCOPE)
    endif()
endfunction()
