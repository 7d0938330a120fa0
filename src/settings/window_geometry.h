#pragma once

#include <vector>

#include <QRect>
#include <QString>
#include <QStringList>
#include <QStringView>

// The parts of a text between separators: an empty rest after the last separator is dropped,
// empty parts inside are kept, the empty text gives none.
QStringList SplitText(QStringView text, QStringView separator);

// What geometry restore needs of a window: its outer frame rectangle in screen pixels, and the
// primary screen's work area. Each setter takes effect at once.
class GeometryWindow
{
public:
    virtual ~GeometryWindow() = default;
    virtual QRect frameGeometry() const = 0;
    virtual QRect workArea() const = 0;
    virtual void setLeft(int left) = 0;
    virtual void setTop(int top) = 0;
    virtual void setWidth(int width) = 0;
    virtual void setHeight(int height) = 0;
};

// A toggle menu entry kept in the settings ("chk_" in its component name).
struct OptionState
{
    QString name;
    bool checked = false;
};

// Section: the executable base name, key "Form1", value "Left:Top:Width:Height".
void LoadWindowGeometry(GeometryWindow &window, const QString &path = {}); // ConversionError
void SaveWindowGeometry(const GeometryWindow &window, const QString &path = {});
// Section "CASES_A_COCHER", one flag per entry, in order.
void LoadOptionStates(std::vector<OptionState> &options, const QString &path = {});
void SaveOptionStates(const std::vector<OptionState> &options, const QString &path = {});
