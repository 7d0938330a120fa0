#include "support/test_environment.h"

#include <QDir>

#include "platform/executable_info.h"

void useExecutableIn(const QString &folder, const QString &fileName)
{
    ExecutableFacts facts = executableFacts();
    facts.filePath = QDir(folder).filePath(fileName);
    setExecutableFacts(facts);
}
