#pragma once

#include <QObject>

class QSocketNotifier;

namespace didev {

// SIGINT and SIGTERM as a Qt signal on the event loop, so the standalone host closes the window
// the way a host does (and keeps its geometry) instead of dying with it open. One per process;
// the default handlers come back when it goes.
class QuitSignals final : public QObject {
    Q_OBJECT

public:
    explicit QuitSignals(QObject* parent = nullptr);
    ~QuitSignals() override;

    bool installed() const noexcept { return notifier_ != nullptr; }

signals:
    void received(int signalNumber);

private:
    void readSignal();

    QSocketNotifier* notifier_ = nullptr;
};

} // namespace didev
