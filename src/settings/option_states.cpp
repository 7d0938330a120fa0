#include "settings/option_states.h"

#include "settings/settings_file.h"

using namespace Qt::StringLiterals;

namespace {

const QString optionSection = u"CASES_A_COCHER"_s;

} // namespace

void LoadOptionStates(std::vector<OptionState> &options, const QString &path)
{
    for (OptionState &option : options)
        option.checked = SettingsFile::ReadFlag(optionSection, option.name, option.checked, path);
}

void SaveOptionStates(const std::vector<OptionState> &options, const QString &path)
{
    for (const OptionState &option : options)
        SettingsFile::WriteFlag(optionSection, option.name, option.checked, path);
}
