#include "app/WindowSettingsFile.h"
#include "support/TextFiles.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace didev;

namespace {

QProcessEnvironment environment(std::initializer_list<std::pair<const char*, const char*>> variables)
{
    QProcessEnvironment result;
    for (const auto& [name, value] : variables)
        result.insert(QString::fromLatin1(name), QString::fromLatin1(value));
    return result;
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

} // namespace

TEST(WindowSettingsFile, LivesUnderTheStateHomeOrItsDefault)
{
    struct Case {
        QProcessEnvironment environment;
        const char* path;
    };
    const Case cases[] = {
        {environment({{"XDG_STATE_HOME", "/var/state"}, {"HOME", "/home/op"}}), "/var/state/didev-evivod/show-form-settings"},
        {environment({{"HOME", "/home/op"}}), "/home/op/.local/state/didev-evivod/show-form-settings"},
        {environment({{"XDG_STATE_HOME", ""}, {"HOME", "/home/op"}}), "/home/op/.local/state/didev-evivod/show-form-settings"},
        {environment({{"XDG_STATE_HOME", "relative/state"}, {"HOME", "/home/op"}}),
            "/home/op/.local/state/didev-evivod/show-form-settings"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(WindowSettingsFile::defaultPath(c.environment), QString::fromLatin1(c.path));
}

TEST(WindowSettingsFile, WhatFormClosedDeliveredComesBackShiftedByOne)
{
    QTemporaryDir folder;
    const WindowSettingsFile file(folder.filePath(QStringLiteral("state/didev-evivod/show-form-settings")));
    HostStringArray formClosed(0, 21);
    const QStringList geometry{"600", "450", "7500", "6000", "-30", "9000", "5250", "4320"};
    for (int entry = 1; entry <= 8; ++entry)
        formClosed.set(entry, geometry.at(entry - 1));
    formClosed.set(0, QStringLiteral("not geometry"));
    formClosed.set(9, QStringLiteral("not geometry"));

    QString error;
    ASSERT_TRUE(file.store(formClosed, &error)) << error.toStdString();
    EXPECT_EQ(contents(file.path()), QByteArray("Y\n600\n450\n7500\n6000\n-30\n9000\n5250\n4320\n"));
    const HostStringArray next = file.showFormArray(QStringLiteral("Y"));
    EXPECT_EQ(next, HostStringArray(1, QStringList{"Y"} + geometry));

    // GetSettings' layout, with the viewer's entries empty, is moved up the same way.
    HostStringArray live(1, 8);
    for (int entry = 1; entry <= 4; ++entry)
        live.set(entry, geometry.at(entry - 1));
    EXPECT_EQ(WindowSettingsFile::nextShowFormArray(live, QStringLiteral("N")),
        HostStringArray(1, QStringList{"N", "600", "450", "7500", "6000", "", "", "", ""}));
    HostStringArray tooShort(1, 7);
    EXPECT_THROW(WindowSettingsFile::nextShowFormArray(tooShort, QStringLiteral("Y")), std::exception);
}

TEST(WindowSettingsFile, NoFileOrAShortOrForeignOneLeavesTheMissingEntriesEmpty)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("show-form-settings"));
    EXPECT_EQ(WindowSettingsFile(path).showFormArray(QStringLiteral("Y")), HostStringArray(1, QStringList{"Y"} + QStringList(8)));
    ASSERT_TRUE(writeWholeFile(path, "N\r\n1200\r\n1500"));
    const HostStringArray array = WindowSettingsFile(path).showFormArray(QStringLiteral("Y"));
    EXPECT_EQ(array, HostStringArray(1, QStringList{"Y", "1200", "1500", "", "", "", "", "", ""}));
}

TEST(WindowSettingsFile, AFolderThatCannotBeMadeIsReportedNotThrown)
{
    QTemporaryDir folder;
    ASSERT_TRUE(writeWholeFile(folder.filePath(QStringLiteral("blocker")), {}));
    const WindowSettingsFile file(folder.filePath(QStringLiteral("blocker/didev-evivod/show-form-settings")));
    QString error;
    EXPECT_FALSE(file.store(HostStringArray(1, 8), &error));
    EXPECT_FALSE(error.isEmpty());
}
