#include "platform/gui_clipboard.h"

#include <QClipboard>
#include <QGuiApplication>

#include "errors/app_error.h"

void PutClipboardText(const QString &text)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->setText(text);
    // Owning the clipboard proves the text is there; where the platform cannot tell, read back.
    if (clipboard->ownsClipboard() || clipboard->text() == text)
        return;
    throw ClipboardOpenError(QStringLiteral(
        "Impossible d'ouvrir le Presse-papiers : le presse-papiers n'a pas accepté le texte"));
}
