#include "extract/token_splitter.h"

namespace TokenSplitter {

QStringList SplitLine(QStringView line)
{
    QStringList tokens;
    QString scratch;
    ForEachToken(line, scratch, [&tokens](QStringView token) { tokens.append(token.toString()); });
    return tokens;
}

} // namespace TokenSplitter
