#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <stdexcept>
#include <vector>

namespace didev {

enum class HostCommandKind {
    Show, Close, Settings, Snap, Count, Get, Mark, Purge, Clear, Save, Pointers, Property, Allow, Picture,
    Watch, Demo,
};

// One subcommand with its arguments, checked against its table entry.
struct HostCommand {
    HostCommandKind kind = HostCommandKind::Count;
    QString name;
    QStringList arguments;

    // "save 1 out.jpg 3", for messages.
    QString text() const;
    bool operator==(const HostCommand&) const = default;
};

// What didev-host was asked to do: the commands run in order on one instance.
struct HostOptions {
    bool help = false;
    // --private-bus: a session bus of this run's own, activating the server beside didev-host.
    bool privateBus = false;
    // --timeout SECONDS for every call; 0 keeps the default.
    int timeoutSeconds = 0;
    std::vector<HostCommand> commands;
};

// A command line didev-host cannot run; the message says why.
class HostUsageError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

// Options first, then commands. A command takes its arguments greedily up to its maximum, but
// once it has its minimum a word that names a command starts the next one. Integer arguments
// must be decimal whole numbers within 16 bits, Long ones within 32 bits.
HostOptions parseHostCommandLine(const QStringList& arguments);

QString hostUsage();

// What to do about a failed call, by the bus's error name; empty when the message says it all.
QString hostFailureAdvice(const QString& errorName);

// A decimal whole number within [minimum, maximum], or nothing.
std::optional<qint64> wholeNumber(const QString& text, qint64 minimum, qint64 maximum);

} // namespace didev
