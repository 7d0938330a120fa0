#pragma once

#include <QRect>
#include <QString>

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

// Section: the executable base name, key "Form1", value "Left:Top:Width:Height".
void LoadWindowGeometry(GeometryWindow &window, const QString &path = {}); // ConversionError
void SaveWindowGeometry(const GeometryWindow &window, const QString &path = {});
