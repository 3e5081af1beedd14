#include "app/HostCommandLine.h"
#include "app/HostSession.h"

#include <gtest/gtest.h>

using namespace didev;

namespace {

QStringList words(const char* line)
{
    return QString::fromLatin1(line).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

QStringList commandTexts(const HostOptions& options)
{
    QStringList texts;
    for (const HostCommand& command : options.commands)
        texts << command.text();
    return texts;
}

} // namespace

TEST(HostCommandLine, CommandsSplitWhereAnOptionalArgumentNamesACommand)
{
    const struct {
        const char* line;
        QStringList commands;
    } cases[] = {
        {"show Y 100 200 5250 4320 snap", {"show Y 100 200 5250 4320", "snap"}},
        {"mark 2 purge", {"mark 2", "purge"}},
        // A required argument is taken even when it reads like a command.
        {"save 1 count 3 count", {"save 1 count 3", "count"}},
        {"allow allow 0", {"allow", "allow 0"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(commandTexts(parseHostCommandLine(words(c.line))), c.commands) << c.line;
}

TEST(HostCommandLine, BadCommandLinesAreRefusedWithTheReason)
{
    const struct {
        const char* line;
        const char* reason;
    } cases[] = {
        {"", "no command given"},
        {"frobnicate", "unknown command 'frobnicate'"},
        {"get", "get: too few arguments"},
        {"get 32768", "get: argument 1 must be a whole number from -32768 to 32767, not '32768'"},
        {"pointers a b c d 2147483648", "argument 5 must be a whole number from -2147483648 to 2147483647"},
        {"watch -1", "watch: argument 1 must be a number of seconds"},
        {"--timeout 0 count", "--timeout must be a number of seconds"},
        {"--verbose count", "unknown option --verbose"},
    };
    for (const auto& c : cases) {
        try {
            parseHostCommandLine(words(c.line));
            ADD_FAILURE() << "accepted: " << c.line;
        } catch (const HostUsageError& error) {
            EXPECT_NE(std::string(error.what()).find(c.reason), std::string::npos) << c.line << " -> " << error.what();
        }
    }
}

TEST(HostCommandLine, OptionsComeBeforeTheCommands)
{
    const HostOptions options = parseHostCommandLine(words("--timeout 30 watch"));
    EXPECT_EQ(options.timeoutSeconds, 30);
    EXPECT_EQ(commandTexts(options), QStringList{"watch"});
    EXPECT_TRUE(parseHostCommandLine(words("--timeout 5 --private-bus show")).privateBus);
    EXPECT_TRUE(parseHostCommandLine(words("--help nonsense")).help);
}

// FormClosed's full array is the examples' and the command-line host's test.
TEST(HostSessionText, GeometryShowsEntriesOneToEightWhateverTheLowerBound)
{
    const HostStringArray short_(3, QStringList{"a", "b"});
    EXPECT_EQ(HostSession::geometryText(short_), "capture Top= Left= Width=a Height=b; viewer Top= Left= Width= Height=");
}
