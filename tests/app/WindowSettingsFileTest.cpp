#include "app/WindowSettingsFile.h"
#include "support/TextFiles.h"

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

} // namespace

TEST(WindowSettingsFile, LivesUnderTheStateHomeOrItsDefault)
{
    struct Case {
        QProcessEnvironment environment;
        const char* path;
    };
    const Case cases[] = {
        {environment({{"XDG_STATE_HOME", "/var/state"}, {"HOME", "/home/op"}}), "/var/state/didev-evivod/show-form-settings"},
        {environment({{"XDG_STATE_HOME", "relative/state"}, {"HOME", "/home/op"}}),
            "/home/op/.local/state/didev-evivod/show-form-settings"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(WindowSettingsFile::defaultPath(c.environment), QString::fromLatin1(c.path));
}

// FormClosed's array kept and read back is the run command's test (standalone_host_run.sh); here
// GetSettings' layout, with the viewer's entries empty, moved up by one the same way.
TEST(WindowSettingsFile, GetSettingsArrayComesBackShiftedByOne)
{
    const QStringList geometry{"600", "450", "7500", "6000"};
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
