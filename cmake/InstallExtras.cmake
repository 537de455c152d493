# Runs at install time, after the program is in place: its example
# descriptions beside it (as a build places them, never over a file of that
# name), the `zorv` command linked to it, and a desktop entry. ZORV_EXAMPLES
# is set by the install rules.
include(${CMAKE_CURRENT_LIST_DIR}/InstallLayout.cmake)

set(root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")

execute_process(COMMAND ${CMAKE_COMMAND} "-DEXAMPLES=${ZORV_EXAMPLES}"
                        "-DFOLDER=${root}/${ZORV_PROGRAM_DIR}/ZORV dep files"
                        -P ${CMAKE_CURRENT_LIST_DIR}/PlaceExamples.cmake
                RESULT_VARIABLE placed)
if(NOT placed EQUAL 0)
    message(FATAL_ERROR "Could not place the example descriptions")
endif()

# A link, not a copy: the program finds its descriptions beside the file it
# really is, and the system resolves the link for it.
get_filename_component(command_dir "${root}/${ZORV_COMMAND}" DIRECTORY)
file(RELATIVE_PATH target "${command_dir}" "${root}/${ZORV_PROGRAM_DIR}/zorv")
file(MAKE_DIRECTORY "${command_dir}")
file(REMOVE "${root}/${ZORV_COMMAND}")
file(CREATE_LINK "${target}" "${root}/${ZORV_COMMAND}" SYMBOLIC)
message(STATUS "Installing: ${root}/${ZORV_COMMAND} -> ${target}")

# The desktop entry's Exec line quotes the path and escapes what a quoted
# argument may not hold as it stands.
set(exec "${CMAKE_INSTALL_PREFIX}/${ZORV_COMMAND}")
string(REPLACE "\\" "\\\\" exec "${exec}")
foreach(special "\"" "`" "$")
    string(REPLACE "${special}" "\\${special}" exec "${exec}")
endforeach()
string(REPLACE "\\" "\\\\" exec "${exec}")
string(REPLACE "%" "%%" exec "${exec}")
file(WRITE "${root}/${ZORV_DESKTOP_ENTRY}" "[Desktop Entry]
Type=Application
Name=ZORV
Comment=Play a voltage waveform through a bench power supply
Exec=\"${exec}\"
Terminal=false
Categories=Science;Electronics;
")
message(STATUS "Installing: ${root}/${ZORV_DESKTOP_ENTRY}")
