#include <QApplication>

#include "app/french_texts.h"
#include "app/main_window.h"
#include "app/shown_report.h"
#include "app/theme.h"
#include "platform/executable_info.h"
#include "platform/gui_dialogs.h"

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    application.setApplicationName(QStringLiteral("Extracteur"));
    application.setDesktopFileName(QStringLiteral("extracteur"));
    setExecutableFacts(readProcessExecutableFacts());
    InstallFrenchTexts(application);

    QtDialogs dialogs;
    if (!SelectStyle(application, DefaultThemeName()))
        dialogs.showStyleNotFound(QStringLiteral("Style '%1' non trouvé").arg(DefaultThemeName()));

    TForm1 window(dialogs, QApplication::arguments());
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/images/envelope.svg")));
    reportShownIfAsked(window);
    window.show();
    window.activateWindow();
    return QApplication::exec();
}
