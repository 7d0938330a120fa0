# Removes an installation: cmake -DPREFIX=... [-DPURGE=1] -P cmake/uninstall.cmake
# DESTDIR is taken from the environment, as the install step does. The settings file the program
# wrote beside itself stays unless PURGE is true; folders left empty are removed up to the prefix.
include(${CMAKE_CURRENT_LIST_DIR}/install_layout.cmake)

if(NOT PREFIX)
    message(FATAL_ERROR "uninstall: PREFIX is not set")
endif()
cmake_path(SET root NORMALIZE "$ENV{DESTDIR}${PREFIX}")
string(REGEX REPLACE "(.)/+$" "\\1" root "${root}")

set(targets ${EXTRACTEUR_INSTALLED_FILES})
if(PURGE)
    list(APPEND targets ${EXTRACTEUR_SETTINGS_FILE})
endif()

set(folders)
foreach(relative IN LISTS targets)
    set(path "${root}/${relative}")
    # A dangling link counts too: the program's link outlives a program removed by hand.
    if(EXISTS "${path}" OR IS_SYMLINK "${path}")
        if(IS_DIRECTORY "${path}" AND NOT IS_SYMLINK "${path}")
            message(WARNING "uninstall: ${path} is a folder, left alone")
            continue()
        endif()
        message(STATUS "Removing ${path}")
        file(REMOVE "${path}")
        if(EXISTS "${path}" OR IS_SYMLINK "${path}")
            message(FATAL_ERROR "uninstall: cannot remove ${path}")
        endif()
    endif()
    cmake_path(GET relative PARENT_PATH parent)
    while(parent)
        list(APPEND folders "${parent}")
        cmake_path(GET parent PARENT_PATH parent)
    endwhile()
endforeach()

# Deepest folders first, so a parent is looked at once its children are gone.
list(REMOVE_DUPLICATES folders)
list(SORT folders ORDER DESCENDING)
foreach(relative IN LISTS folders)
    set(path "${root}/${relative}")
    if(IS_DIRECTORY "${path}" AND NOT IS_SYMLINK "${path}")
        # rmdir removes a folder only when it is empty.
        execute_process(COMMAND rmdir -- "${path}" OUTPUT_QUIET ERROR_QUIET)
    endif()
endforeach()
