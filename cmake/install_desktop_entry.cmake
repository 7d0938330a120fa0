# Runs at install time, when the prefix is known: the menu entry starts the program by the
# absolute path of its link, so it works whether or not the prefix's bin folder is on PATH.
# Expects EXTRACTEUR_DESKTOP_TEMPLATE and EXTRACTEUR_DESKTOP_STAGING.

# One argument of an Exec line: quoted when it holds a reserved character, then escaped as
# a desktop entry string value.
function(extracteur_desktop_exec_argument text out)
    if(text MATCHES "[\r\n]")
        message(FATAL_ERROR "A menu entry cannot start a program whose path holds a line break")
    endif()
    string(REPLACE "%" "%%" argument "${text}")
    if(argument MATCHES "[ \t\"'\\\\><~|&;$*?#()`]")
        string(REPLACE "\\" "\\\\" argument "${argument}")
        string(REPLACE "\"" "\\\"" argument "${argument}")
        string(REPLACE "`" "\\`" argument "${argument}")
        string(REPLACE "$" "\\$" argument "${argument}")
        set(argument "\"${argument}\"")
    endif()
    string(REPLACE "\\" "\\\\" argument "${argument}")
    set(${out} "${argument}" PARENT_SCOPE)
endfunction()

extracteur_desktop_exec_argument("${CMAKE_INSTALL_PREFIX}/bin/extracteur" EXTRACTEUR_DESKTOP_EXEC)
configure_file("${EXTRACTEUR_DESKTOP_TEMPLATE}" "${EXTRACTEUR_DESKTOP_STAGING}/extracteur.desktop"
               @ONLY)
file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/share/applications" TYPE FILE
     FILES "${EXTRACTEUR_DESKTOP_STAGING}/extracteur.desktop")
