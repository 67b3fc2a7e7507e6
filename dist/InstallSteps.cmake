# Install-time steps, run by cmake --install after the files of dist/CMakeLists.txt.
# Takes WIBBLET_DIST_DIR, WIBBLET_PROGRAM_DIR, WIBBLET_AUTOSTART(_DIR) and
# WIBBLET_SETCAP from there.

set(_wibblet_destdir "$ENV{DESTDIR}")
set(_wibblet_program "${CMAKE_INSTALL_PREFIX}/${WIBBLET_PROGRAM_DIR}/wibblet")
set(_wibblet_link "${CMAKE_INSTALL_PREFIX}/bin/wibblet")

# Paths as written into files are final ones; files land under DESTDIR.
macro(_wibblet_note_installed path)
    message(STATUS "Installing: ${path}")
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${path}")
endmacro()

# Relative, so the tree can be moved or staged as a whole.
file(RELATIVE_PATH _wibblet_target "${CMAKE_INSTALL_PREFIX}/bin" "${_wibblet_program}")
file(MAKE_DIRECTORY "${_wibblet_destdir}${CMAKE_INSTALL_PREFIX}/bin")
file(CREATE_LINK "${_wibblet_target}" "${_wibblet_destdir}${_wibblet_link}" SYMBOLIC)
_wibblet_note_installed("${_wibblet_destdir}${_wibblet_link}")

# Launchers run the program by its full path: ~/.local/bin is not on every
# session's PATH. An Exec argument with reserved characters must be quoted,
# and a backslash escaped twice (once for the quoting, once for the string).
set(WIBBLET_EXEC "${_wibblet_link}")
string(REPLACE "%" "%%" WIBBLET_EXEC "${WIBBLET_EXEC}")
if(NOT WIBBLET_EXEC MATCHES "^[A-Za-z0-9/._+@-]+$")
    string(REPLACE "\\" "\\\\\\\\" WIBBLET_EXEC "${WIBBLET_EXEC}")
    string(REGEX REPLACE "([\"`$])" "\\\\\\\\\\1" WIBBLET_EXEC "${WIBBLET_EXEC}")
    set(WIBBLET_EXEC "\"${WIBBLET_EXEC}\"")
endif()

set(_wibblet_entries "${CMAKE_INSTALL_PREFIX}/share/applications")
if(WIBBLET_AUTOSTART)
    if(IS_ABSOLUTE "${WIBBLET_AUTOSTART_DIR}")
        list(APPEND _wibblet_entries "${WIBBLET_AUTOSTART_DIR}")
    else()
        list(APPEND _wibblet_entries "${CMAKE_INSTALL_PREFIX}/${WIBBLET_AUTOSTART_DIR}")
    endif()
endif()
foreach(_dir IN LISTS _wibblet_entries)
    set(_entry "${_wibblet_destdir}${_dir}/wibblet.desktop")
    configure_file("${WIBBLET_DIST_DIR}/wibblet.desktop.in" "${_entry}" @ONLY NO_SOURCE_PERMISSIONS)
    _wibblet_note_installed("${_entry}")
endforeach()

# A staged install is packaged elsewhere: the capability is the
# package's to set on the target system (the Debian package's postinst does).
if(_wibblet_destdir)
    message(STATUS "Wibblet: DESTDIR install, skipped setcap")
    return()
endif()

if(WIBBLET_SETCAP)
    execute_process(COMMAND setcap cap_net_bind_service=+ep "${_wibblet_program}"
                    RESULT_VARIABLE _rc ERROR_VARIABLE _err OUTPUT_QUIET)
    if(_rc EQUAL 0)
        message(STATUS "Wibblet: ${_wibblet_program} may now bind port 1001")
    else()
        string(STRIP "${_err}" _err)
        message(STATUS "Wibblet: could not let the program bind port 1001 (${_rc} ${_err}).\n"
                "   Run as root:  setcap cap_net_bind_service=+ep ${_wibblet_program}\n"
                "   Without it Wibblet says it could not bind the port and runs unbound.")
    endif()
endif()
