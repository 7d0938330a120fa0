// The splitter and the extract against a plain step-by-step reading of the token rules.
#include <cstdio>
#include <cstdlib>

#include <QStringList>

#include "extract/extract_command.h"
#include "text/text_table.h"
#include "extract/token_splitter.h"
#include "fuzz_input.h"

namespace {

class ReferenceSplitter
{
public:
    explicit ReferenceSplitter(const QString &line) : m_text(line)
    {
        const qsizetype nul = m_text.indexOf(QChar(u'\0'));
        if (nul >= 0)
            m_text.truncate(nul);
    }

    QStringList tokens()
    {
        QStringList result;
        qsizetype position = skipBlanks(0);
        while (position < end()) {
            QString token;
            if (at(position) == u'"') {
                position = readQuoted(position, token);
            } else {
                const qsizetype start = position;
                while (position < end() && !isBlank(at(position)) && at(position) != u',')
                    position = step(position);
                token = m_text.mid(start, position - start);
            }
            result.append(token);
            position = skipBlanks(position);
            if (position < end() && at(position) == u',') {
                if (step(position) >= end())
                    result.append(QString());
                position = skipBlanks(step(position));
            }
        }
        return result;
    }

private:
    qsizetype end() const { return m_text.size(); }
    char16_t at(qsizetype i) const { return m_text[i].unicode(); }

    static bool isBlank(char16_t c) { return c >= 0x0001 && c <= 0x0020; }

    // Passes the unit, a low surrogate after it, then every nonspacing mark, unit by unit.
    qsizetype step(qsizetype position) const
    {
        if (position >= end())
            return position;
        ++position;
        if (position < end() && at(position) >= 0xDC00 && at(position) <= 0xDFFF)
            ++position;
        while (position < end() && QChar(at(position)).category() == QChar::Mark_NonSpacing)
            ++position;
        return position;
    }

    qsizetype skipBlanks(qsizetype position) const
    {
        while (position < end() && isBlank(at(position)))
            position = step(position);
        return position;
    }

    qsizetype readQuoted(qsizetype position, QString &token) const
    {
        ++position;
        while (position < end()) {
            if (at(position) == u'"') {
                if (position + 1 < end() && at(position + 1) == u'"') {
                    token.append(u'"');
                    position += 2;
                    continue;
                }
                return position + 1;
            }
            token.append(QChar(at(position)));
            ++position;
        }
        return position;
    }

    QString m_text;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    const QString text = FuzzInput::codeUnits(input.rest());

    // Each line of the input is one entry of the list.
    TextTable entries;
    QStringList expectedAddresses;
    for (const QString &line : text.split(u'\n')) {
        const QStringList expected = ReferenceSplitter(line).tokens();
        FUZZ_CHECK(TokenSplitter::SplitLine(line) == expected);

        QStringList streamed;
        QString scratch;
        TokenSplitter::ForEachToken(
            line, scratch, [&streamed](QStringView token) { streamed.append(token.toString()); });
        FUZZ_CHECK(streamed == expected);

        entries.append(line);
        for (const QString &token : expected) {
            if (token.contains(u'@'))
                expectedAddresses.append(token);
        }
    }

    const TextTable addresses = ExtractAddresses(entries);
    FUZZ_CHECK(addresses.size() == expectedAddresses.size());
    for (qsizetype i = 0; i < addresses.size(); ++i)
        FUZZ_CHECK(addresses.at(i) == expectedAddresses[i]);
    return 0;
}
