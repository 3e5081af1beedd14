#pragma once

#include "app/AutomationClient.h"
#include "app/HostCommandLine.h"
#include "app/HostEventSink.h"

#include <QTextStream>

#include <atomic>
#include <memory>

namespace didev {

// Runs didev-host's commands on one instance and prints what they return, one line each, and
// the events as they arrive. Stops at the first failing command.
class HostSession {
public:
    // `stop` ends a watch early (set from a signal handler).
    HostSession(AutomationClient& client, QTextStream& out, const std::atomic<bool>& stop);
    ~HostSession();

    // Advises the event sink; an instance must be attached or created first.
    void start();
    // Throws HostCallError (a call failed) with the command's text in front.
    void run(const HostCommand& command);

    // Entries 1..8 of a settings or FormClosed array as "capture Top=... ; viewer ...".
    static QString geometryText(const HostStringArray& array);

private:
    void show(const QStringList& arguments);
    void close(const QStringList& arguments);
    void settings();
    void get(int16_t index);
    void save(const QStringList& arguments);
    void pointers(const QStringList& arguments);
    void allow(const QStringList& arguments);
    void picture(int32_t handle, const QString& fileName);
    void watch(int seconds);
    void demo(const QString& folder);
    bool captureWindowLoaded();
    void print(const QString& line);

    AutomationClient& client_;
    QTextStream& out_;
    const std::atomic<bool>& stop_;
    std::unique_ptr<HostEventSink> sink_;
    uint32_t cookie_ = 0;
    bool formClosed_ = false;
};

} // namespace didev
