#pragma once

#include <QByteArray>
#include <QString>

// Replaces everything the system clipboard holds by one plain text. Raises ClipboardOpenError
// when the clipboard did not take it (the platform gives no other sign of a failure), and
// ClipboardDataError "Ressources système insuffisantes" when the clipboard data cannot be
// allocated.
void PutClipboardText(const QString &text);
// The same for a text already in UTF-8, which the clipboard keeps as it is: half the memory of
// the UTF-16 text, and what other programs ask for.
void PutClipboardUtf8Text(const QByteArray &utf8);
