#pragma once

#include <QLabel>
#include <QString>

#include <cstdint>

namespace didev {

// A click on a status-bar panel: its 1-based index, its left (relative to the status bar) and
// width in twips, and its text.
struct StatusPanelClick {
    int16_t index = 0;
    int32_t left = 0;
    int32_t width = 0;
    QString text;
};

// One panel of a status bar: a sunken label that reports a click (press and release on it). It
// takes the press itself, so a click on a panel is never a press on the window behind it. A text
// longer than the panel ends in "…", and the tooltip holds the whole text.
class StatusPanel : public QLabel {
    Q_OBJECT

public:
    StatusPanel(int index, const QString& text, QWidget* parent = nullptr);

    int index() const noexcept { return index_; }
    // The panel as a click reports it, its place in whole twips.
    StatusPanelClick click() const;
    // Sets the text and the tooltip with it, so that an elided text can always be read whole.
    // Hides QLabel::setText, which would leave the tooltip behind.
    void setText(const QString& text);

    // The panel can shrink below its text: the text is then elided.
    QSize minimumSizeHint() const override;

signals:
    void clicked(int index);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    int index_;
    bool pressed_ = false;
};

} // namespace didev
