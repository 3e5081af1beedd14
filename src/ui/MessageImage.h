#pragma once

#include <QList>
#include <QStringList>
#include <QWidget>

namespace didev {

// The picture box the message is printed on: each line at the left edge, one under the other.
class MessageImage final : public QWidget {
    Q_OBJECT

public:
    explicit MessageImage(QWidget* parent = nullptr);

    // Lines with the top of each in pixels.
    void printLines(const QStringList& lines, const QList<int>& tops);
    const QStringList& lines() const { return lines_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QStringList lines_;
    QList<int> tops_;
};

} // namespace didev
