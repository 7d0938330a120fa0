#pragma once

class QCoreApplication;

// Installs Qt's own French texts (buttons, file dialog, the search field's menu), whatever the
// process locale: the whole interface speaks French. False when the translation is missing.
bool InstallFrenchTexts(QCoreApplication &application);
