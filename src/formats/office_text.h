#pragma once

#include <QByteArrayView>
#include <QString>

#include "formats/byte_source.h"
#include "formats/containers_text.h"

enum class OfficeKind { None, OpenXml, OpenDocument };

// Tells an office document from the first local header of its zip: Office Open XML (docx,
// xlsx, pptx) or OpenDocument (odt, ods, odp); None for any other zip or bytes.
OfficeKind DetectOfficeKind(QByteArrayView head);

// Whether the document's member `path` holds text or links worth reading.
bool IsOfficeTextPart(OfficeKind kind, const QString &path);

// Reads one XML member of a document: the text a reader sees, a line per paragraph, cell or
// shared string, and `mailto:` link targets each on a line of its own. Raises an AppError
// naming `shownName` and the part when the XML is malformed, after the text read before.
void ReadOfficePart(OfficeKind kind, ByteSource &part, const QString &shownName,
                    const QString &partPath, ContainerLineSink &sink);
