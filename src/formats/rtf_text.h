#pragma once

#include <QByteArrayView>
#include <QString>

#include "formats/byte_source.h"
#include "formats/containers_text.h"

// Whether `head`, an input's first bytes, opens an RTF document.
bool IsRtf(QByteArrayView head);

// Reads an RTF document front to back: its text, a line per paragraph, with `\'hh` escapes in
// the declared code page (\ansicpg, Windows-1252 when none) and `\uN` escapes decoded, and
// field instructions (a hyperlink's target) on lines of their own. Font tables, colours,
// styles, pictures and other destinations that hold no text are skipped.
void ReadRtfText(ByteSource &source, ContainerLineSink &sink);
