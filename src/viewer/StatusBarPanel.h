#pragma once

#include <QLabel>

namespace didev {

// One panel of a status bar: a sunken label that reports a click (press and release on it).
// It takes the press itself, so a click on a panel is never a press on the window behind it.
class StatusBarPanel : public QLabel {
    Q_OBJECT

public:
    StatusBarPanel(int index, const QString& text, QWidget* parent = nullptr);

    int index() const noexcept { return index_; }

signals:
    void clicked(int index);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    int index_;
    bool pressed_ = false;
};

} // namespace didev
