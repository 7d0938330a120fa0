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

# The manual pages, French first and as the default, the completions, the licence's notice.
set(documentation ${PROJECT_BINARY_DIR}/documentation)
configure_file(${PROJECT_SOURCE_DIR}/resources/debian/changelog.in ${staging}/changelog @ONLY)
add_custom_command(
    OUTPUT ${staging}/changelog.gz
    COMMAND gzip -9n -c ${staging}/changelog > ${staging}/changelog.gz
    DEPENDS ${staging}/changelog)
if(TARGET extracteur-cli)
    # extracteur-cli's page and completions are made from its --help once it is built.
    set(generated ${documentation}/extracteur.1.gz ${documentation}/extracteur-cli.1.gz
                  ${documentation}/bash/extracteur-cli ${documentation}/zsh/_extracteur-cli
                  ${documentation}/fish/extracteur-cli.fish)
    add_custom_command(
        OUTPUT ${generated} ${documentation}/extracteur.1 ${documentation}/extracteur-cli.1
        COMMAND ${PROJECT_SOURCE_DIR}/scripts/make-documentation $<TARGET_FILE:extracteur-cli>
                ${PROJECT_SOURCE_DIR} ${documentation} ${PROJECT_VERSION}
        DEPENDS extracteur-cli ${PROJECT_SOURCE_DIR}/scripts/make-documentation
                ${PROJECT_SOURCE_DIR}/scripts/help-to-man
                ${PROJECT_SOURCE_DIR}/scripts/help-to-completion
                ${PROJECT_SOURCE_DIR}/resources/man/extracteur.1
        COMMENT "Manual pages and completions from extracteur-cli --help"
        VERBATIM)
    set(pages ${documentation}/extracteur.1.gz ${documentation}/extracteur-cli.1.gz)
    install(FILES ${documentation}/bash/extracteur-cli
            DESTINATION share/bash-completion/completions)
    install(FILES ${documentation}/zsh/_extracteur-cli DESTINATION share/zsh/vendor-completions)
    install(FILES ${documentation}/fish/extracteur-cli.fish
            DESTINATION share/fish/vendor_completions.d)
else()
    set(generated ${documentation}/extracteur.1.gz)
    add_custom_command(
        OUTPUT ${generated}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${documentation}
        COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/resources/man/extracteur.1 >
                ${documentation}/extracteur.1.gz
        DEPENDS ${PROJECT_SOURCE_DIR}/resources/man/extracteur.1)
    set(pages ${generated})
endif()
add_custom_target(extracteur_documentation ALL DEPENDS ${generated} ${staging}/changelog.gz)
install(FILES ${pages} DESTINATION share/man/fr/man1)
install(FILES ${pages} DESTINATION share/man/man1)
install(FILES ${PROJECT_SOURCE_DIR}/resources/debian/copyright ${staging}/changelog.gz
        DESTINATION share/doc/extracteur)

# Everything the install rules copy, for building only that (make install, make deb).
add_custom_target(extracteur_installables)
add_dependencies(extracteur_installables extracteur extracteur_icons extracteur_documentation)
if(TARGET extracteur-cli)
    add_dependencies(extracteur_installables extracteur-cli)
endif()

include(${CMAKE_CURRENT_LIST_DIR}/package.cmake)

add_custom_target(uninstall
    COMMAND ${CMAKE_COMMAND} -DPREFIX=${CMAKE_INSTALL_PREFIX} -P
            ${CMAKE_CURRENT_LIST_DIR}/uninstall.cmake
    COMMENT "Removing the installation under ${CMAKE_INSTALL_PREFIX}"
    VERBATIM)
