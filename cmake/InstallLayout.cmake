# Where `make install` puts things under its prefix, and what it writes
# there; read by the install and the uninstall alike.
set(ZORV_PROGRAM_DIR lib/zorv)
set(ZORV_COMMAND bin/zorv)
set(ZORV_DESKTOP_ENTRY share/applications/zorv.desktop)
include(${CMAKE_CURRENT_LIST_DIR}/SameFile.cmake)

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

# What stands where an install under PREFIX puts its desktop entry, in ROOT
# (PREFIX, or where DESTDIR puts it): "none", "installed" (what the install
# writes, byte for byte) or "the user's" (anything else, edited or not a
# file at all). ENTRY is its path and TEXT what the install writes.
function(zorv_desktop_entry_state root prefix entry_var text_var state_var)
    set(entry "${root}/${ZORV_DESKTOP_ENTRY}")
    zorv_desktop_entry("${prefix}" text)
    string(LENGTH "${text}" size)
    string(SHA256 hash "${text}")
    zorv_file_is("${entry}" "${size}" "${hash}" installed)
    if(installed)
        set(state "installed")
    elseif(EXISTS "${entry}" OR IS_SYMLINK "${entry}")
        set(state "the user's")
    else()
        set(state "none")
    endif()
    set(${entry_var} "${entry}" PARENT_SCOPE)
    set(${text_var} "${text}" PARENT_SCOPE)
    set(${state_var} "${state}" PARENT_SCOPE)
endfunction()
