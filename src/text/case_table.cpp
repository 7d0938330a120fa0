#include "text/case_table.h"

#include <QChar>

const CaseTable &UpperCaseTable()
{
    static const CaseTable table = [] {
        CaseTable t{};
        for (char32_t c = 0; c < 0x10000; ++c) {
            const char32_t upper = QChar::isSurrogate(c) ? c : QChar::toUpper(c);
            t[c] = static_cast<char16_t>(upper < 0x10000 ? upper : c);
        }
        return t;
    }();
    return table;
}

QString UpperCased(QStringView text)
{
    const CaseTable &table = UpperCaseTable();
    QString result(text.size(), Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(result.data());
    const char16_t *in = text.utf16();
    for (qsizetype i = 0; i < text.size(); ++i)
        out[i] = table[in[i]];
    return result;
}
