# Where an installation puts each file, relative to its prefix. Read by the install rules and by
# the uninstall script, so that uninstalling removes what installing puts there and nothing else.
set(EXTRACTEUR_PROGRAM_DIR lib/extracteur)
set(EXTRACTEUR_APPSTREAM_ID fr.quorvel.extracteur)
set(EXTRACTEUR_ICON_SIZES 16 22 24 32 48 64 128 256)

set(EXTRACTEUR_INSTALLED_FILES
    ${EXTRACTEUR_PROGRAM_DIR}/extracteur
    bin/extracteur
    bin/extracteur-cli
    share/applications/extracteur.desktop
    share/metainfo/${EXTRACTEUR_APPSTREAM_ID}.metainfo.xml
    share/icons/hicolor/scalable/apps/extracteur.svg
    share/man/man1/extracteur.1.gz
    share/man/fr/man1/extracteur.1.gz
    share/doc/extracteur/copyright
    share/doc/extracteur/changelog.gz)
# What only exists with the command-line program: its page is made from its --help.
set(EXTRACTEUR_CLI_DOCUMENTATION
    share/man/man1/extracteur-cli.1.gz
    share/man/fr/man1/extracteur-cli.1.gz
    share/bash-completion/completions/extracteur-cli
    share/zsh/vendor-completions/_extracteur-cli
    share/fish/vendor_completions.d/extracteur-cli.fish)
list(APPEND EXTRACTEUR_INSTALLED_FILES ${EXTRACTEUR_CLI_DOCUMENTATION})
foreach(size IN LISTS EXTRACTEUR_ICON_SIZES)
    list(APPEND EXTRACTEUR_INSTALLED_FILES share/icons/hicolor/${size}x${size}/apps/extracteur.png)
endforeach()

# Written by the program itself beside its executable; kept by an uninstall unless purged.
set(EXTRACTEUR_SETTINGS_FILE ${EXTRACTEUR_PROGRAM_DIR}/extracteur.INI)
