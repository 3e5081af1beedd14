#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QList>
#include <QObject>

// Collects the signals of the instances' event interface that reach one connection.
class SignalRecorder : public QObject {
    Q_OBJECT

public:
    // Every FormClosed, SettingsChanged and KeyDown of any instance path.
    explicit SignalRecorder(QDBusConnection connection);

    QList<QDBusMessage> received;
    QList<QDBusMessage> named(const QString& member) const;

public slots:
    void record(const QDBusMessage& message) { received.append(message); }
};
