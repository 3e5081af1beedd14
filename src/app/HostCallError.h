#pragma once

#include <QString>

#include <stdexcept>

namespace didev {

// A call to the service that came back as an error: the bus's error name and its message
// ("Error 9 (KelvaraDidevEvivod): Subscript out of range" for an automation error).
class HostCallError : public std::runtime_error {
public:
    HostCallError(QString name, QString message)
        : std::runtime_error(message.toStdString())
        , name_(std::move(name))
        , message_(std::move(message))
    {
    }

    const QString& name() const noexcept { return name_; }
    const QString& message() const noexcept { return message_; }

private:
    QString name_;
    QString message_;
};

} // namespace didev
