// The settings file: integer texts against a plain reading of their rule; a write reads back
// and leaves every other entry as it was; a refused write leaves the file byte for byte.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <utility>
#include <vector>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "fuzz_input.h"
#include "errors/app_error.h"
#include "platform/profile_file.h"
#include "settings/settings_file.h"

using namespace Qt::StringLiterals;

namespace {

const QString &folder()
{
    static QTemporaryDir dir(QDir(u"/dev/shm"_s).exists()
                                 ? u"/dev/shm/fuzz-settings-XXXXXX"_s
                                 : QDir::tempPath() + u"/fuzz-settings-XXXXXX"_s);
    static const QString path = dir.path();
    return path;
}

// Spaces, one sign, then "$", "x", "X", "0x" or "0X" and at most eight significant hexadecimal
// digits taken as 32 bits, or decimal digits within the signed 32-bit range; nothing else.
std::optional<qint32> referenceInteger(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i] == u' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
        negative = text[i++] == u'-';
    const QStringView rest = text.sliced(i);
    QStringView digits;
    int base = 10;
    for (const QStringView prefix : {u"0x", u"0X", u"$", u"x", u"X"}) {
        if (rest.startsWith(prefix)) {
            digits = rest.sliced(prefix.size());
            base = 16;
            break;
        }
    }
    if (base == 10)
        digits = rest;
    if (digits.isEmpty())
        return std::nullopt;
    // Leading zeros never count.
    QStringView significant = digits;
    while (significant.size() > 1 && significant.front() == u'0')
        significant = significant.sliced(1);
    for (const QChar c : digits) {
        const bool decimal = c >= u'0' && c <= u'9';
        const bool hex = (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
        if (!decimal && !(base == 16 && hex))
            return std::nullopt;
    }
    if (significant.size() > (base == 16 ? 8 : 10))
        return std::nullopt;
    bool ok = false;
    const qulonglong magnitude = significant.toULongLong(&ok, base);
    if (!ok)
        return std::nullopt;
    if (base == 16)
        return qint32(quint32(negative ? 0u - quint32(magnitude) : quint32(magnitude)));
    if (magnitude > (negative ? 2147483648ull : 2147483647ull))
        return std::nullopt;
    return qint32(negative ? -qint64(magnitude) : qint64(magnitude));
}

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Every section and key name the file holds, by a plain reading: "[name]" lines and the text
// before the first "=" of other lines.
std::vector<std::pair<QString, QString>> namesIn(const QByteArray &bytes)
{
    std::vector<std::pair<QString, QString>> names;
    QString section;
    QByteArray text = bytes;
    text.replace("\r\n", "\n").replace('\r', '\n');
    for (const QByteArray &line : text.split('\n')) {
        const QString decoded = QString::fromUtf8(line);
        if (decoded.size() >= 2 && decoded.startsWith(u'[') && decoded.endsWith(u']'))
            section = decoded.mid(1, decoded.size() - 2);
        else if (decoded.contains(u'='))
            names.emplace_back(section, decoded.left(decoded.indexOf(u'=')));
    }
    return names;
}

bool sameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    const QString integerText = FuzzInput::codeUnits(input.piece());
    FUZZ_CHECK(ParseIntegerText(integerText) == referenceInteger(integerText));

    const QString section = FuzzInput::codeUnits(input.piece());
    const QString key = FuzzInput::codeUnits(input.piece());
    const QString value = FuzzInput::codeUnits(input.piece());
    const QByteArray before = input.rest().toByteArray();

    const QString path = folder() + u"/outil.INI"_s;
    {
        QFile file(path);
        FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        FUZZ_CHECK(file.write(before) == before.size());
    }
    std::vector<std::pair<std::pair<QString, QString>, std::optional<QString>>> others;
    for (const auto &[otherSection, otherKey] : namesIn(before)) {
        if (sameName(otherSection, section) && sameName(otherKey, key))
            continue;
        others.push_back(
            {{otherSection, otherKey}, ProfileFile::Read(path, otherSection, otherKey)});
    }

    bool written = true;
    try {
        SettingsFile::WriteText(section, key, value, path);
    } catch (const SettingsWriteError &) {
        written = false;
    }
    if (!written) {
        FUZZ_CHECK(contentOf(path) == before);
        return 0;
    }
    FUZZ_CHECK(ProfileFile::Read(path, section, key) == value);
    for (const auto &[name, previous] : others)
        FUZZ_CHECK(ProfileFile::Read(path, name.first, name.second) == previous);
    return 0;
}
