#pragma once

#include <QString>

class QApplication;
class Dialogs;

// The themes this executable carries, by display name, with the resource of each style sheet.
struct CarriedTheme
{
    QString name;
    QString styleSheet;
};

// Looks a style up by name, ignoring letter case, first among the styles Qt has loaded, then
// among the carried themes, and applies it to the whole application. False when none has that
// name: the application keeps the platform's default look.
bool SelectStyle(QApplication &application, const QString &name);

// The carried theme of that name (letter case ignored), or an empty name when there is none.
CarriedTheme FindCarriedTheme(const QString &name);

// Registers the images and the theme carried in the UI library's resources (a static library
// must do so itself). Safe to call more than once.
void RegisterResources();

// The name of the theme the program starts with.
QString DefaultThemeName();

// Everything the program sets on the application before its window exists: its names, Qt's own
// texts in French, the window icon and the theme (a missing theme is told in `dialogs`' box and
// the platform's look stays).
void SetUpApplication(QApplication &application, Dialogs &dialogs);
