#pragma once

#include <QString>
#include <QVariant>

class QObject;

namespace didev {

// Sets the font of any object that has one: by the properties fontName, fontSize, fontBold,
// fontItalic, fontUnderline and FontStrikethru when it has them, else through its "font"
// property. A style argument that is missing, empty or null counts as false. Error 438 for
// an object with neither.
void SetObjectFont(QObject& target, const QString& fontName, double fontSize, const QVariant& bold = {},
    const QVariant& italic = {}, const QVariant& underline = {}, const QVariant& strikethrough = {});

} // namespace didev
