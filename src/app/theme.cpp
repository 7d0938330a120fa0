#include "app/theme.h"

#include <QApplication>
#include <QFile>
#include <QIcon>
#include <QStyle>
#include <QStyleFactory>

#include "app/french_texts.h"
#include "platform/gui_dialogs.h"

static void registerResourcesOnce()
{
    Q_INIT_RESOURCE(resources);
}

void RegisterResources()
{
    static const bool done = (registerResourcesOnce(), true);
    Q_UNUSED(done);
}

namespace {

const CarriedTheme carriedThemes[] = {
    {QStringLiteral("Metropolis UI Blue"), QStringLiteral(":/themes/metropolis_ui_blue.qss")},
};

} // namespace

QString DefaultThemeName()
{
    return QStringLiteral("Metropolis UI Blue");
}

CarriedTheme FindCarriedTheme(const QString &name)
{
    for (const CarriedTheme &theme : carriedThemes) {
        if (theme.name.compare(name, Qt::CaseInsensitive) == 0)
            return theme;
    }
    return {};
}

bool SelectStyle(QApplication &application, const QString &name)
{
    const QStringList loaded = QStyleFactory::keys();
    for (const QString &key : loaded) {
        if (key.compare(name, Qt::CaseInsensitive) == 0) {
            QApplication::setStyle(key);
            return true;
        }
    }
    RegisterResources();
    const CarriedTheme theme = FindCarriedTheme(name);
    if (theme.name.isEmpty())
        return false;
    QFile sheet(theme.styleSheet);
    if (!sheet.open(QIODevice::ReadOnly))
        return false;
    // The sheet draws on Fusion, which looks the same on every desktop.
    QApplication::setStyle(QStringLiteral("Fusion"));
    application.setStyleSheet(QString::fromUtf8(sheet.readAll()));
    return true;
}

void SetUpApplication(QApplication &application, Dialogs &dialogs)
{
    application.setApplicationName(QStringLiteral("Extracteur"));
    application.setDesktopFileName(QStringLiteral("extracteur"));
    InstallFrenchTexts(application);
    RegisterResources();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/images/envelope.svg")));
    if (!SelectStyle(application, DefaultThemeName()))
        dialogs.showStyleNotFound(QStringLiteral("Style '%1' non trouvé").arg(DefaultThemeName()));
}
