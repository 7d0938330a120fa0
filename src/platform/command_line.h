#pragma once

#include <QString>
#include <QStringList>

// The first argument after the program's own path. The platform has already cut the command
// line at blanks and removed the quotes; an empty argument (a pair of quotes with nothing between
// them) is skipped. The empty text when there is none.
QString FirstArgument(const QStringList &arguments);
