#include "settings/window_caption.h"

#include <QDateTime>
#include <QFileInfo>

#include "platform/executable_info.h"
#include "settings/settings_file.h"

using namespace Qt::StringLiterals;

namespace {

QString zeroPadded(int number, int width)
{
    return u"%1"_s.arg(number, width, 10, QLatin1Char('0'));
}

} // namespace

QString UpperCaseAsciiLetters(const QString &text)
{
    QString result = text;
    for (QChar &c : result) {
        if (c >= u'a' && c <= u'z')
            c = QChar(static_cast<char16_t>(c.unicode() - u'a' + u'A'));
    }
    return result;
}

QString BuildCaption(const QString &text, const QString &datePattern)
{
    return u"%1 %2 | Quorvel ***{:- %3 | %4"_s.arg(UpperCaseAsciiLetters(ExecutableBaseName()),
                                                   VersionText(), text,
                                                   ExecutableDateText(datePattern));
}

QString VersionText()
{
    const quint32 version = executableFacts().versionMajorMinor.value_or(0xFFFFFFFFu);
    return u"%1.%2"_s.arg(version >> 16).arg(version & 0xFFFFu);
}

QString ExecutableDateText(const QString &datePattern)
{
    // QFileInfo follows a symbolic link to its target for the modification time.
    const QFileInfo info(executableFacts().filePath);
    if (executableFacts().filePath.isEmpty() || !info.exists() || info.isDir())
        return {};
    const QDateTime modified = info.lastModified().toLocalTime();
    if (!modified.isValid())
        return {};
    const QDate date = modified.date();

    const QStringView pattern = datePattern;
    QString result;
    qsizetype i = 0;
    while (i < pattern.size()) {
        const QStringView rest = pattern.sliced(i);
        if (rest.startsWith(u"yyyy")) {
            result += zeroPadded(date.year(), 4);
            i += 4;
        } else if (rest.startsWith(u"dd")) {
            result += zeroPadded(date.day(), 2);
            i += 2;
        } else if (rest.startsWith(u"mm")) {
            result += zeroPadded(date.month(), 2);
            i += 2;
        } else if (rest.front() == u'/') {
            result += executableFacts().dateSeparator;
            i += 1;
        } else {
            result += rest.front();
            i += 1;
        }
    }
    return result;
}
