#pragma once

#include <vector>

#include <QString>

// A toggle menu entry kept in the settings ("chk_" in its component name).
struct OptionState
{
    QString name;
    bool checked = false;
};

// Section "CASES_A_COCHER", one flag per entry, in order.
void LoadOptionStates(std::vector<OptionState> &options, const QString &path = {});
void SaveOptionStates(const std::vector<OptionState> &options, const QString &path = {});
