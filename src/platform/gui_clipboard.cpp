#include "platform/gui_clipboard.h"

#include <memory>
#include <new>

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include "errors/app_error.h"

namespace {

const QString utf8Format = QStringLiteral("text/plain;charset=utf-8");

// Plain text that also answers text/plain;charset=utf-8, which several toolkits ask for before
// UTF8_STRING, with the very bytes of the plain text; made only when a program asks for it.
class PlainTextData : public QMimeData
{
public:
    QStringList formats() const override
    {
        QStringList list = QMimeData::formats();
        if (list.contains(QStringLiteral("text/plain")))
            list.append(utf8Format);
        return list;
    }
    bool hasFormat(const QString &format) const override
    {
        return format == utf8Format ? QMimeData::hasFormat(QStringLiteral("text/plain"))
                                    : QMimeData::hasFormat(format);
    }

protected:
    QVariant retrieveData(const QString &format, QMetaType type) const override
    {
        if (format == utf8Format) {
            // Qt's own text() asks this format first, for a QString: give the text as it was
            // put there, a lone surrogate included.
            if (type.id() == QMetaType::QString)
                return QMimeData::retrieveData(QStringLiteral("text/plain"), type);
            return data(QStringLiteral("text/plain"));
        }
        return QMimeData::retrieveData(format, type);
    }
};

// Hands the data to the clipboard; `holds` tells, where the platform cannot say whether the
// clipboard took it, whether the clipboard's text is the one given.
template <typename Fill, typename Holds> void putClipboardData(const Fill &fill, const Holds &holds)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    try {
        // The clipboard shares the text: no copy is made until another program asks for it.
        auto data = std::make_unique<PlainTextData>();
        fill(*data);
        clipboard->setMimeData(data.release());
    } catch (const std::bad_alloc &) {
        // Qt reports a failed allocation by throwing.
        throw ClipboardDataError(QStringLiteral("Ressources système insuffisantes"));
    }
    // Owning the clipboard proves the text is there (under X11 this asks the server nothing);
    // where the platform cannot tell, read back.
    if (clipboard->ownsClipboard() || holds(clipboard->text()))
        return;
    throw ClipboardOpenError(QStringLiteral(
        "Impossible d'ouvrir le Presse-papiers : le presse-papiers n'a pas accepté le texte"));
}

} // namespace

void PutClipboardText(const QString &text)
{
    putClipboardData([&](QMimeData &data) { data.setText(text); },
                     [&](const QString &held) { return held == text; });
}

void PutClipboardUtf8Text(const QByteArray &utf8)
{
    putClipboardData([&](QMimeData &data) { data.setData(QStringLiteral("text/plain"), utf8); },
                     [&](const QString &held) { return held == QString::fromUtf8(utf8); });
}
