#include "common/AutomationError.h"
#include "support/AutomationErrors.h"
#include "ui/ObjectFont.h"

#include <QLabel>
#include <QObject>

#include <gtest/gtest.h>

using namespace didev;

TEST(SetObjectFont, WidgetTakesFamilySizeAndStylesWithMissingOrEmptyAsFalse)
{
    const struct { QVariant given; bool set; } styles[] = {
        {true, true}, {QStringLiteral("True"), true}, {-1, true}, {QVariant(), false}, {QString(), false},
        {QStringLiteral("0"), false}, {false, false},
    };
    for (const auto& style : styles) {
        QLabel label;
        QFont opposite = label.font();
        for (auto set : {&QFont::setBold, &QFont::setItalic, &QFont::setUnderline, &QFont::setStrikeOut})
            (opposite.*set)(!style.set);
        label.setFont(opposite);
        SetObjectFont(label, QStringLiteral("Liberation Serif"), 14, style.given, style.given, style.given, style.given);
        const QFont font = label.font();
        EXPECT_EQ(font.family(), QStringLiteral("Liberation Serif"));
        EXPECT_DOUBLE_EQ(font.pointSizeF(), 14);
        EXPECT_EQ(font.bold(), style.set) << style.given.toString().toStdString();
        EXPECT_EQ(font.italic(), style.set);
        EXPECT_EQ(font.underline(), style.set);
        EXPECT_EQ(font.strikeOut(), style.set);
    }
}

TEST(SetObjectFont, ObjectWithFontPropertiesIsSetByName)
{
    QObject printer;
    printer.setProperty("fontName", QString());
    SetObjectFont(printer, QStringLiteral("Arial"), 10.5, true);
    EXPECT_EQ(printer.property("fontName").toString(), QStringLiteral("Arial"));
    EXPECT_DOUBLE_EQ(printer.property("fontSize").toDouble(), 10.5);
    EXPECT_TRUE(printer.property("fontBold").toBool());
    EXPECT_FALSE(printer.property("fontItalic").toBool());
    EXPECT_FALSE(printer.property("FontStrikethru").toBool());
}

TEST(SetObjectFont, ObjectWithoutAFontIsError438)
{
    QObject plain;
    EXPECT_EQ(didev::testing::errorNumberOf([&] { SetObjectFont(plain, QStringLiteral("Arial"), 9); }), 438);
}
