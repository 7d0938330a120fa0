#include "extract/extract_command.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "extract/token_splitter.h"

namespace {

bool containsAt(QStringView text)
{
    const char16_t *d = text.utf16();
    return std::find(d, d + text.size(), u'@') != d + text.size();
}

} // namespace

TextTable ExtractAddresses(const TextTable &entries, std::vector<qsizetype> *entryOfEach)
{
    // Only an entry holding "@" can give a retained token, and the tokens of one entry are
    // disjoint parts of it (a quoted token only loses quotes), so the total length of those
    // entries bounds the retained text: the buffer is sized once and written in place.
    std::vector<qsizetype> withAt;
    qsizetype bound = 0;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const QStringView entry = entries.at(i);
        if (entry.contains(u'@')) {
            withAt.push_back(i);
            bound += entry.size();
        }
    }

    QString buffer;
    buffer.resize(bound);
    char16_t *out = reinterpret_cast<char16_t *>(buffer.data());
    std::vector<TextSpan> spans;
    spans.reserve(withAt.size() + withAt.size() / 2);

    qsizetype used = 0;
    QString scratch;
    for (const qsizetype i : withAt) {
        TokenSplitter::forEachToken(entries.at(i), scratch, [&](QStringView token) {
            if (!containsAt(token))
                return;
            std::memcpy(out + used, token.utf16(),
                        static_cast<std::size_t>(token.size()) * sizeof(char16_t));
            spans.push_back({used, token.size()});
            used += token.size();
            if (entryOfEach)
                entryOfEach->push_back(i);
        });
    }
    buffer.truncate(used);
    buffer.squeeze();
    return TextTable(std::move(buffer), std::move(spans));
}
