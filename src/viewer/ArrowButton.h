#pragma once

#include <QPushButton>

namespace didev {

// A small push button showing a solid triangle that points left or right, drawn at any size.
class ArrowButton : public QPushButton {
    Q_OBJECT

public:
    enum class Direction { Left, Right };

    explicit ArrowButton(Direction direction, QWidget* parent = nullptr);

    Direction direction() const noexcept { return direction_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Direction direction_;
};

} // namespace didev
