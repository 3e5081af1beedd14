#include "ui/Registry.h"
#include "support/TextFiles.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>

using namespace didev;

namespace {

constexpr int32_t kCurrentUser = static_cast<int32_t>(0x80000001u);
constexpr int32_t kLocalMachine = static_cast<int32_t>(0x80000002u);
const QString kSuite = QStringLiteral("SOFTWARE\\Halvern Pictures\\Kelvara Suite");

// Real .reg files in a temporary directory that DIDEV_REGISTRY_DIR points at.
class Registry : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        setenv("DIDEV_REGISTRY_DIR", dir_.path().toLocal8Bit().constData(), 1);
    }
    void TearDown() override { unsetenv("DIDEV_REGISTRY_DIR"); }

    void write(const char* root, const QByteArray& text)
    {
        ASSERT_TRUE(writeWholeFile(dir_.path() + QLatin1Char('/') + QLatin1String(root) + QLatin1String(".reg"), text));
    }

    QTemporaryDir dir_;
};

const QByteArray kSuiteFile = "REGEDIT4\n"
                              "\n"
                              "; written by the suite's installer\n"
                              "[HKEY_CURRENT_USER\\SOFTWARE\\Halvern Pictures\\Kelvara Suite]\n"
                              "\"ReportDir\"=\"/home/dit/Reports\"\n"
                              "\"Count\"=dword:00000002\n"
                              "\"Expanded\"=hex(2):25,48,4f,4d,45,25,00\n"
                              "\"Quoted\"=\"C:\\\\Reports\\\\\\\"Day 1\\\"\"\n"
                              "\"HexText\"=hex(1):44,61,\\\n"
                              "  79,00\n"
                              "@=\"default\"\n"
                              "\n"
                              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Elsewhere]\n"
                              "\"Stray\"=\"not this root\"\n"
                              "[HKEY_CURRENT_USER\\SOFTWARE\\Halvern Pictures\\Kelvara Suite]\n"
                              "\"Fits\"=\"" + QByteArray(254, 'a') + "\"\n"
                              "\"TooLong\"=\"" + QByteArray(255, 'b') + "\"\n"
                              "\"Wide\"=\"" + QString(254, QChar(0x00E9)).toUtf8() + "\"\n";

} // namespace

TEST_F(Registry, OnlyStringValuesUnder255CharactersAreRead)
{
    write("HKEY_CURRENT_USER", kSuiteFile);
    const struct { const char* fault; const char* name; QString expected; } cases[] = {
        {"a string holding a path is returned", "ReportDir", QStringLiteral("/home/dit/Reports")},
        {"value names compare without case", "REPORTDIR", QStringLiteral("/home/dit/Reports")},
        {"a dword is not a string", "Count", QString()},
        {"an expandable string is not a plain string", "Expanded", QString()},
        {"escapes are undone", "Quoted", QStringLiteral("C:\\Reports\\\"Day 1\"")},
        {"a string spelled in hex over two lines", "HexText", QStringLiteral("Day")},
        {"the default value has the empty name", "", QStringLiteral("default")},
        {"a missing value", "Nothing", QString()},
        {"a key of another root in the file is not there", "Stray", QString()},
        {"254 characters are read", "Fits", QString(254, QLatin1Char('a'))},
        {"255 characters are not", "TooLong", QString()},
        {"254 characters are read, whatever their bytes", "Wide", QString(254, QChar(0x00E9))},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReadRegistryString(kCurrentUser, kSuite, QString::fromLatin1(c.name)), c.expected) << c.fault;
}

TEST_F(Registry, KeysAreFoundWithoutCaseAndNotOtherwise)
{
    write("HKEY_CURRENT_USER", kSuiteFile);
    const struct { const char* fault; int32_t root; const char* subKey; QString expected; } cases[] = {
        {"key names compare without case", kCurrentUser, "software\\HALVERN PICTURES\\kelvara suite",
            QStringLiteral("/home/dit/Reports")},
        {"a trailing backslash names the same key", kCurrentUser,
            "SOFTWARE\\Halvern Pictures\\Kelvara Suite\\", QStringLiteral("/home/dit/Reports")},
        {"a missing key", kCurrentUser, "SOFTWARE\\Halvern Pictures\\Other", QString()},
        {"a key above the one declared has no such value", kCurrentUser, "SOFTWARE\\Halvern Pictures", QString()},
        {"a root without a file", kLocalMachine, "SOFTWARE\\Halvern Pictures\\Kelvara Suite", QString()},
        {"a handle just past the roots", static_cast<int32_t>(0x80000006u),
            "SOFTWARE\\Halvern Pictures\\Kelvara Suite", QString()},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReadRegistryString(c.root, QString::fromLatin1(c.subKey), QStringLiteral("ReportDir")), c.expected)
            << c.fault;
}

TEST_F(Registry, CrLfFilesLaterLinesOverrideAndARemovedKeyTakesItsSubKeys)
{
    write("HKEY_LOCAL_MACHINE",
        "\xEF\xBB\xBFREGEDIT4\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Halvern Pictures\\Kelvara Suite]\r\n"
        "\"ReportDir\"=\"D:\\\\First\"\r\n"
        "\"Gone\"=\"x\"\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Halvern Pictures\\Kelvara Suite]\r\n"
        "\"ReportDir\"=\"D:\\\\Second\"\r\n"
        "\"Gone\"=-\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Removed\\Child]\r\n"
        "\"Old\"=\"removed with its parent\"\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\RemovedToo]\r\n"
        "\"Kept\"=\"a sibling sharing the prefix\"\r\n"
        "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Removed]\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Removed\\Child]\r\n"
        "\"Kept\"=\"after the removal\"\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Broken\r\n"
        "\"Orphan\"=\"under no key\"\r\n");
    EXPECT_EQ(ReadRegistryString(kLocalMachine, kSuite, QStringLiteral("ReportDir")), QStringLiteral("D:\\Second"));
    EXPECT_EQ(ReadRegistryString(kLocalMachine, kSuite, QStringLiteral("Gone")), QString());
    EXPECT_EQ(ReadRegistryString(kLocalMachine, QStringLiteral("SOFTWARE\\Removed\\Child"), QStringLiteral("Kept")),
        QStringLiteral("after the removal"));
    EXPECT_EQ(ReadRegistryString(kLocalMachine, QStringLiteral("SOFTWARE\\Removed\\Child"), QStringLiteral("Old")), QString());
    EXPECT_EQ(ReadRegistryString(kLocalMachine, QStringLiteral("SOFTWARE\\RemovedToo"), QStringLiteral("Kept")),
        QStringLiteral("a sibling sharing the prefix"));
    EXPECT_EQ(ReadRegistryString(kLocalMachine, QStringLiteral("SOFTWARE\\Broken"), QStringLiteral("Orphan")),
        QString());
}

TEST(RegistryDirectory, OwnVariableThenXdgThenHome)
{
    setenv("DIDEV_REGISTRY_DIR", "/srv/reg", 1);
    EXPECT_EQ(registryDirectory(), QStringLiteral("/srv/reg"));
    unsetenv("DIDEV_REGISTRY_DIR");
    setenv("XDG_CONFIG_HOME", "/cfg", 1);
    EXPECT_EQ(registryDirectory(), QStringLiteral("/cfg/kelvara/registry"));
    setenv("XDG_CONFIG_HOME", "relative/cfg", 1);
    EXPECT_TRUE(registryDirectory().endsWith(QLatin1String("/.config/kelvara/registry")));
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_TRUE(registryDirectory().endsWith(QLatin1String("/.config/kelvara/registry")));
}

TEST_F(Registry, AChangedFileIsReadAgainAndOnlyRegularFilesAreRead)
{
    const QByteArray head = "REGEDIT4\n[HKEY_CURRENT_USER\\SOFTWARE\\Halvern Pictures\\Kelvara Suite]\n\"ReportDir\"=\"";
    const QString path = dir_.path() + QStringLiteral("/HKEY_CURRENT_USER.reg");
    write("HKEY_CURRENT_USER", head + "/first\"\n");
    EXPECT_EQ(ReadRegistryString(kCurrentUser, kSuite, QStringLiteral("ReportDir")), QStringLiteral("/first"));
    write("HKEY_CURRENT_USER", head + "/second\"\n");   // the same file, rewritten
    EXPECT_EQ(ReadRegistryString(kCurrentUser, kSuite, QStringLiteral("ReportDir")), QStringLiteral("/second"));
    QFile::remove(path);
    EXPECT_EQ(ReadRegistryString(kCurrentUser, kSuite, QStringLiteral("ReportDir")), QString());

    // A FIFO has no writer: opening it as a file would wait for ever.
    ASSERT_EQ(mkfifo(QFile::encodeName(path).constData(), 0644), 0);
    EXPECT_EQ(ReadRegistryString(kCurrentUser, kSuite, QStringLiteral("ReportDir")), QString());
}

TEST_F(Registry, AMegabyteValueOverManyLinesIsReadInLinearTime)
{
    // 1 MiB of hex over 43,691 lines, then the value that is read. A reader that parses the
    // value again for each line takes far longer than the test's timeout, which fails it.
    QByteArray text = "REGEDIT4\n[HKEY_CURRENT_USER\\SOFTWARE\\Halvern Pictures\\Kelvara Suite]\n\"Blob\"=hex:";
    const int lines = (1 << 20) / 24;
    for (int line = 0; line < lines; ++line)
        text += "00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,17,\\\n  ";
    text += "ff\n\"ReportDir\"=\"/after/the/blob\"\n";
    write("HKEY_CURRENT_USER", text);
    EXPECT_EQ(ReadRegistryString(kCurrentUser, kSuite, QStringLiteral("ReportDir")), QStringLiteral("/after/the/blob"));
}
