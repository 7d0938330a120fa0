#pragma once

#include <QString>

// Points the executable facts at a name inside `folder`, so that the settings file and the
// caption of a test never touch the folder of the test binary.
void useExecutableIn(const QString &folder, const QString &fileName = QStringLiteral("extracteur"));
