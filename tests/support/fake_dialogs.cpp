#include "support/fake_dialogs.h"

void FakeDialogs::showError(QWidget *, const QString &caption, const QString &message)
{
    errors.append({caption, message});
}

void FakeDialogs::showStyleNotFound(const QString &message)
{
    styleErrors.append(message);
}

void FakeDialogs::showInformation(QWidget *, const QString &caption, const QString &message)
{
    informations.append({caption, message});
}

std::optional<QString> FakeDialogs::askSaveFileName(QWidget *, const SaveRequest &request)
{
    saveRequests.append(request);
    return saveAnswer;
}
