#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

// Cuts one line into tokens: blanks (U+0001..U+0020) and the comma separate, double quotes
// group, a doubled quote inside quotes stands for one. The splitter holds no state and never
// fails.
namespace TokenSplitter {

QStringList SplitLine(QStringView line);

// The same tokens, handed one by one to onToken(QStringView) without building a list. The
// view is valid only during the call (a quoted token with doubled quotes lives in `scratch`).
template <typename OnToken>
void ForEachToken(QStringView line, QString &scratch, OnToken &&onToken);

} // namespace TokenSplitter

#include "extract/token_splitter_impl.h"
