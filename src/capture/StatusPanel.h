#pragma once

#include <QLabel>

namespace didev {

// One panel of the capture window's status bar: a label that reports a click.
class StatusPanel : public QLabel {
    Q_OBJECT

public:
    StatusPanel(int index, const QString& text, QWidget* parent = nullptr);

    int index() const { return index_; }

signals:
    void clicked(int index);

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    int index_;
};

} // namespace didev
