#pragma once

#include <QString>

// Replaces everything the system clipboard holds by one plain text. Raises ClipboardOpenError
// when the clipboard did not take it (the platform gives no other sign of a failure), and
// ClipboardDataError "Ressources système insuffisantes" when the clipboard data cannot be
// allocated.
void PutClipboardText(const QString &text);
