#pragma once

#include "ui/PlacedWindow.h"

#include <QSize>

class QWidget;

namespace didev {

// A QWidget top-level window under the placement rules: Left, Top, Width and Height are its
// frameGeometry in twips. Before the window is shown its frame is not known yet, so the frame
// the window metrics describe stands in for it until the window is shown.
class WidgetPlacedWindow final : public PlacedWindow {
public:
    explicit WidgetPlacedWindow(QWidget& window) : window_(window) {}

    double left() const override;
    double top() const override;
    double width() const override;
    double height() const override;

    void setLeft(double twips) override;
    void setTop(double twips) override;
    void setWidth(double twips) override;
    void setHeight(double twips) override;

private:
    // Pixels the frame adds to the client area, left + right and top + bottom.
    QSize frameExtent() const;
    // True once the window system has framed the shown window; what was kept for it is dropped.
    bool framed() const;
    // Keeps the outer size, or the frame's position, asked for until the window system has
    // framed the window.
    void rememberUntilFramed(int outerWidth, int outerHeight);
    void rememberPositionUntilFramed();

    QWidget& window_;
};

} // namespace didev
