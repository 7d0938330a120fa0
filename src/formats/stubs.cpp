#include "formats/containers.h"
#include "formats/format_decoders.h"

#include <QString>

#include "errors/app_error.h"

// Stand-ins until the decoders and the containers are merged: everything is plain text.
InputFormat DetectFormat(QByteArrayView, QStringView)
{
    return InputFormat::Text;
}

void DecodeFormat(InputFormat, PeekableSource &, QStringView shownName, const DecodeSettings &,
                  TextReceiver &)
{
    throw FileOpenError(QStringLiteral("Format non pris en charge : %1").arg(shownName));
}

void ReadContainers(PeekableSource &source, const QString &shownName, const ContainerLimits &,
                    TextReceiver &, const StreamReader &readStream)
{
    readStream(source, shownName);
}
