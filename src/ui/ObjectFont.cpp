#include "ui/ObjectFont.h"

#include "common/AutomationError.h"

#include <QFont>
#include <QMetaObject>
#include <QObject>

namespace didev {

namespace {

bool hasProperty(const QObject& object, const char* name)
{
    return object.metaObject()->indexOfProperty(name) >= 0 || object.dynamicPropertyNames().contains(name);
}

bool flag(const QVariant& value)
{
    if (!value.isValid() || value.isNull())
        return false;
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString().trimmed();
        if (text.isEmpty() || text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
            return false;
        if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
            return true;
        bool number = false;
        const double n = text.toDouble(&number);
        return number && n != 0;
    }
    return value.toBool();
}

} // namespace

void SetObjectFont(QObject& target, const QString& fontName, double fontSize, const QVariant& bold,
    const QVariant& italic, const QVariant& underline, const QVariant& strikethrough)
{
    if (hasProperty(target, "fontName")) {
        target.setProperty("fontName", fontName);
        target.setProperty("fontSize", fontSize);
        target.setProperty("fontBold", flag(bold));
        target.setProperty("fontItalic", flag(italic));
        target.setProperty("fontUnderline", flag(underline));
        target.setProperty("FontStrikethru", flag(strikethrough));
        return;
    }
    if (!hasProperty(target, "font"))
        throw AutomationError(438, kModuleErrorSource, "Object doesn't support this property or method");
    QFont font = target.property("font").value<QFont>();
    font.setFamily(fontName);
    if (fontSize > 0)
        font.setPointSizeF(fontSize);
    font.setBold(flag(bold));
    font.setItalic(flag(italic));
    font.setUnderline(flag(underline));
    font.setStrikeOut(flag(strikethrough));
    target.setProperty("font", font);
}

} // namespace didev
