# Installation for one user, by default under ~/.local: the program's settings file lives beside
# its executable, so the executable needs a folder of its own that the user can write.
include(${CMAKE_CURRENT_LIST_DIR}/install_layout.cmake)

if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT AND DEFINED ENV{HOME})
    set_property(CACHE CMAKE_INSTALL_PREFIX PROPERTY VALUE "$ENV{HOME}/.local")
endif()

add_subdirectory(tools)

set(staging ${PROJECT_BINARY_DIR}/install_staging)
file(MAKE_DIRECTORY ${staging})

install(TARGETS extracteur RUNTIME DESTINATION ${EXTRACTEUR_PROGRAM_DIR})
# A relative link, so that the installed tree can move (DESTDIR, a copied prefix).
file(RELATIVE_PATH link_target /prefix/bin /prefix/${EXTRACTEUR_PROGRAM_DIR}/extracteur)
file(CREATE_LINK ${link_target} ${staging}/extracteur SYMBOLIC)
install(FILES ${staging}/extracteur DESTINATION bin)

if(TARGET extracteur-cli)
    install(TARGETS extracteur-cli RUNTIME DESTINATION bin)
endif()

install(CODE "
    set(EXTRACTEUR_DESKTOP_TEMPLATE \"${PROJECT_SOURCE_DIR}/resources/extracteur.desktop.in\")
    set(EXTRACTEUR_DESKTOP_STAGING \"${staging}\")
    include(\"${CMAKE_CURRENT_LIST_DIR}/install_desktop_entry.cmake\")")

configure_file(${PROJECT_SOURCE_DIR}/resources/extracteur.metainfo.xml.in
               ${staging}/${EXTRACTEUR_APPSTREAM_ID}.metainfo.xml @ONLY)
install(FILES ${staging}/${EXTRACTEUR_APPSTREAM_ID}.metainfo.xml DESTINATION share/metainfo)

install(FILES ${EXTRACTEUR_ICON_PICTURE} DESTINATION share/icons/hicolor/scalable/apps
        RENAME extracteur.svg)
foreach(size IN LISTS EXTRACTEUR_ICON_SIZES)
    install(FILES ${EXTRACTEUR_ICON_OUTPUT_DIR}/${size}.png
            DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME extracteur.png)
endforeach()

# Everything the install rules copy, for building only that (make install).
add_custom_target(extracteur_installables)
add_dependencies(extracteur_installables extracteur extracteur_icons)
if(TARGET extracteur-cli)
    add_dependencies(extracteur_installables extracteur-cli)
endif()

add_custom_target(uninstall
    COMMAND ${CMAKE_COMMAND} -DPREFIX=${CMAKE_INSTALL_PREFIX} -P
            ${CMAKE_CURRENT_LIST_DIR}/uninstall.cmake
    COMMENT "Removing the installation under ${CMAKE_INSTALL_PREFIX}"
    VERBATIM)
