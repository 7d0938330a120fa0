#include "platform/gui_clipboard.h"

#include <memory>
#include <new>

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include "errors/app_error.h"

void PutClipboardText(const QString &text)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    try {
        // The clipboard shares the text: no copy is made until another program asks for it.
        auto data = std::make_unique<QMimeData>();
        data->setText(text);
        clipboard->setMimeData(data.release());
    } catch (const std::bad_alloc &) {
        // Qt reports a failed allocation by throwing.
        throw ClipboardDataError(QStringLiteral("Ressources système insuffisantes"));
    }
    // Owning the clipboard proves the text is there (under X11 this asks the server nothing);
    // where the platform cannot tell, read back.
    if (clipboard->ownsClipboard() || clipboard->text() == text)
        return;
    throw ClipboardOpenError(QStringLiteral(
        "Impossible d'ouvrir le Presse-papiers : le presse-papiers n'a pas accepté le texte"));
}
