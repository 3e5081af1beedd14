#include "app/HostCommandLine.h"

#include "app/AutomationClient.h"

#include <array>
#include <limits>

namespace didev {

namespace {

enum class ArgumentKind { Text, Integer, Long, Seconds };

struct CommandEntry {
    HostCommandKind kind;
    const char* name;
    int minimum;
    int maximum;
    // Kinds of the arguments in order; past the list, Text.
    std::array<ArgumentKind, 5> kinds;
    const char* usage;
};

using enum ArgumentKind;

const CommandEntry kCommands[] = {
    {HostCommandKind::Show, "show", 0, 9, {}, "show [NOTIFY [TOP LEFT WIDTH HEIGHT [TOP LEFT WIDTH HEIGHT]]]"},
    {HostCommandKind::Close, "close", 0, 1, {}, "close [NOTIFY]"},
    {HostCommandKind::Settings, "settings", 0, 0, {}, "settings"},
    {HostCommandKind::Snap, "snap", 0, 0, {}, "snap"},
    {HostCommandKind::Count, "count", 0, 0, {}, "count"},
    {HostCommandKind::Get, "get", 1, 1, {Integer}, "get INDEX"},
    {HostCommandKind::Mark, "mark", 1, 2, {Integer, Integer}, "mark INDEX [SETTING]"},
    {HostCommandKind::Purge, "purge", 0, 0, {}, "purge"},
    {HostCommandKind::Clear, "clear", 0, 0, {}, "clear"},
    {HostCommandKind::Save, "save", 3, 5, {Integer, Text, Integer, Integer, Integer},
        "save INDEX FILE FORMAT [DEPTH [REDUCTION]]"},
    {HostCommandKind::Pointers, "pointers", 5, 5, {Text, Text, Text, Text, Long},
        "pointers MAINWINDOW APPATH WKPATH TMPPATH REGAREA"},
    {HostCommandKind::Property, "property", 2, 2, {Integer, Text}, "property ID VALUE"},
    {HostCommandKind::Allow, "allow", 0, 1, {Integer}, "allow [VALUE]"},
    {HostCommandKind::Picture, "picture", 2, 2, {Long, Text}, "picture HANDLE FILE.bmp"},
    {HostCommandKind::Watch, "watch", 0, 1, {Seconds}, "watch [SECONDS]"},
    {HostCommandKind::Demo, "demo", 0, 1, {}, "demo [FOLDER]"},
};

const CommandEntry* findCommand(const QString& word)
{
    for (const CommandEntry& entry : kCommands)
        if (word == QLatin1String(entry.name))
            return &entry;
    return nullptr;
}

void checkArgument(const CommandEntry& entry, int position, const QString& value)
{
    const ArgumentKind kind = position < static_cast<int>(entry.kinds.size()) ? entry.kinds[position] : Text;
    const auto fail = [&](const char* what) {
        throw HostUsageError(QStringLiteral("%1: argument %2 must be %3, not '%4' (usage: %5)")
                                 .arg(QLatin1String(entry.name))
                                 .arg(position + 1)
                                 .arg(QLatin1String(what), value, QLatin1String(entry.usage))
                                 .toStdString());
    };
    switch (kind) {
    case Text:
        return;
    case Integer:
        if (!wholeNumber(value, std::numeric_limits<int16_t>::min(), std::numeric_limits<int16_t>::max()))
            fail("a whole number from -32768 to 32767");
        return;
    case Long:
        if (!wholeNumber(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()))
            fail("a whole number from -2147483648 to 2147483647");
        return;
    case Seconds:
        if (!wholeNumber(value, 0, 24 * 3600))
            fail("a number of seconds from 0 to 86400");
        return;
    }
}

} // namespace

QString hostFailureAdvice(const QString& errorName)
{
    if (errorName == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown"))
        return QStringLiteral(
            "D-Bus knows no program for org.kelvara.DidevEvivod on this bus: install the module (its package, or\n"
            "cmake --install), or try the one built here on a bus of its own: didev-host --private-bus COMMAND ...");
    if (errorName.startsWith(QLatin1String("org.freedesktop.DBus.Error.Spawn.")))
        return QStringLiteral(
            "the program that the installed activation file names did not start: see that it runs\n"
            "(didev-evivod --help), or try the one built here: didev-host --private-bus COMMAND ...");
    if (errorName == QLatin1String(AutomationClient::kTimeoutError))
        return QStringLiteral(
            "a call can wait on a person answering a message box of the module; give calls longer with\n"
            "--timeout SECONDS");
    return {};
}

std::optional<qint64> wholeNumber(const QString& text, qint64 minimum, qint64 maximum)
{
    bool ok = false;
    const qint64 value = text.toLongLong(&ok, 10);
    // toLongLong accepts surrounding blanks; a host's number on the command line has none.
    if (!ok || text.trimmed() != text || value < minimum || value > maximum)
        return std::nullopt;
    return value;
}

QString HostCommand::text() const
{
    return arguments.isEmpty() ? name : name + QLatin1Char(' ') + arguments.join(QLatin1Char(' '));
}

HostOptions parseHostCommandLine(const QStringList& arguments)
{
    HostOptions options;
    qsizetype at = 0;
    for (; at < arguments.size() && arguments[at].startsWith(QLatin1String("--")); ++at) {
        const QString& option = arguments[at];
        const auto value = [&]() -> QString {
            if (at + 1 >= arguments.size())
                throw HostUsageError((option + QStringLiteral(" needs a value")).toStdString());
            return arguments[++at];
        };
        if (option == QLatin1String("--help"))
            options.help = true;
        else if (option == QLatin1String("--private-bus"))
            options.privateBus = true;
        else if (option == QLatin1String("--timeout")) {
            const QString seconds = value();
            const auto number = wholeNumber(seconds, 1, 24 * 3600);
            if (!number)
                throw HostUsageError(("--timeout must be a number of seconds from 1 to 86400, not '" + seconds + "'").toStdString());
            options.timeoutSeconds = static_cast<int>(*number);
        } else
            throw HostUsageError(("unknown option " + option).toStdString());
    }
    if (options.help)
        return options;

    while (at < arguments.size()) {
        const CommandEntry* entry = findCommand(arguments[at]);
        if (!entry)
            throw HostUsageError(("unknown command '" + arguments[at] + "'").toStdString());
        HostCommand command{entry->kind, QString::fromLatin1(entry->name), {}};
        ++at;
        while (at < arguments.size() && command.arguments.size() < entry->maximum
            && (command.arguments.size() < entry->minimum || !findCommand(arguments[at]))) {
            checkArgument(*entry, static_cast<int>(command.arguments.size()), arguments[at]);
            command.arguments.append(arguments[at++]);
        }
        if (command.arguments.size() < entry->minimum)
            throw HostUsageError(QStringLiteral("%1: too few arguments (usage: %2)")
                                     .arg(QLatin1String(entry->name), QLatin1String(entry->usage))
                                     .toStdString());
        options.commands.push_back(std::move(command));
    }
    if (options.commands.empty())
        throw HostUsageError("no command given");
    return options;
}

QString hostUsage()
{
    QString commands;
    for (const CommandEntry& entry : kCommands)
        commands += QStringLiteral("  %1\n").arg(QLatin1String(entry.usage));
    return QStringLiteral(
               "Usage: didev-host [OPTIONS] COMMAND [ARGS] [COMMAND [ARGS]] ...\n"
               "\n"
               "Drives Didev Evivod over the session bus (org.kelvara.DidevEvivod, started on\n"
               "demand). The commands run in order on one instance, which is released at the end\n"
               "(closing its window); the server answers only the process that created an\n"
               "instance.\n"
               "Events (FormClosed, KeyDown) are printed as they come.\n"
               "\n"
               "Options:\n"
               "  --private-bus      start a session bus of its own for this run, on which the\n"
               "                     didev-evivod beside didev-host serves: the module as built,\n"
               "                     without installing it. That server lists the machine's\n"
               "                     cameras, then a \"Test Pattern\" camera (unless\n"
               "                     DIDEV_VIRTUAL_VIDEO names cameras), and ends with the run.\n"
               "  --timeout SECONDS  how long one call may take before didev-host gives up\n"
               "                     (default 600: a call can wait on a person answering a\n"
               "                     message box of the module); creating the instance may take\n"
               "                     up to 120 s whatever it says, while D-Bus starts the module\n"
               "  --help             print this and exit\n"
               "\n"
               "Commands:\n")
        + commands
        + QStringLiteral(
            "\n"
            "  show       ShowForm; NOTIFY is entry 1 (\"Y\", the default, asks for FormClosed),\n"
            "             then the capture window's and the viewer's geometry in twips;\n"
            "             prints the instance's path\n"
            "  close      CloseForm; NOTIFY \"N\" closes without FormClosed\n"
            "  settings   GetSettings: the windows' geometry in twips\n"
            "  snap       TakeSnapshot: prints the new frame's number (0: none stored)\n"
            "  count      GetSnapshotCount\n"
            "  get        GetSnapshot: picture handle, frame number, time and timecode; for an\n"
            "             INDEX with no frame the module shows a message box, and the call\n"
            "             waits until a person at its screen answers it\n"
            "  mark       PictureSavedByLogger (SETTING -1 by default, 0 clears)\n"
            "  purge      ClearSavedSnapshots: drops the marked frames\n"
            "  clear      ClearSnapshots\n"
            "  save       SaveSnapshot: FORMAT 1 bitmap, 3 JPEG\n"
            "  pointers   SetPointers\n"
            "  property   SetProperty (1 registry root, 3 \"N\" stops the viewer following grabs)\n"
            "  allow      AllowInternalCapture: prints it, or sets it (-1 true, 0 false)\n"
            "  picture    GetPictureData: writes the picture of a handle as a bitmap file\n"
            "  watch      prints events until the capture window closes (or SECONDS pass)\n"
            "  demo       show, grab three frames, save one as JPEG and as bitmap in FOLDER\n"
            "             (default: the current folder), settings, close\n"
            "\n"
            "An optional argument that is also a command's name starts that command.\n"
            "Exit status: 0 done, 1 a call failed, 2 a bad command line.\n");
}

} // namespace didev
