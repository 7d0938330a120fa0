#include "settings/window_geometry.h"

#include "platform/executable_info.h"
#include "settings/settings_file.h"

using namespace Qt::StringLiterals;

namespace {

const QString geometryKey = u"Form1"_s;

QString geometryText(const QRect &frame)
{
    return u"%1:%2:%3:%4"_s.arg(frame.left())
        .arg(frame.top())
        .arg(frame.width())
        .arg(frame.height());
}

} // namespace

void LoadWindowGeometry(GeometryWindow &window, const QString &path)
{
    const QString stored = SettingsFile::ReadText(ExecutableBaseName(), geometryKey,
                                                  geometryText(window.frameGeometry()), path);
    const QStringList parts = SplitText(stored, u":");

    // A shorter value applies the parts it has and stops quietly at the first missing one.
    if (parts.size() < 1)
        return;
    window.setLeft(StrToInt(parts[0]));
    // The bound compares with the work area's width, and pulls back by the current width.
    if (window.frameGeometry().left() > window.workArea().width())
        window.setLeft(window.workArea().width() - window.frameGeometry().width());

    if (parts.size() < 2)
        return;
    window.setTop(StrToInt(parts[1]));
    if (window.frameGeometry().top() < 0)
        window.setTop(0);

    if (parts.size() < 3)
        return;
    window.setWidth(StrToInt(parts[2]));
    if (window.frameGeometry().width() > window.workArea().width())
        window.setWidth(window.workArea().width());

    if (parts.size() < 4)
        return;
    window.setHeight(StrToInt(parts[3]));
    if (window.frameGeometry().height() > window.workArea().height())
        window.setHeight(window.workArea().height());
}

void SaveWindowGeometry(const GeometryWindow &window, const QString &path)
{
    SettingsFile::WriteText(ExecutableBaseName(), geometryKey, geometryText(window.frameGeometry()),
                            path);
}
