#include "ui/SyntheticInput.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <QWidget>

namespace didev {

namespace {

void sendMouse(QWidget& widget, QEvent::Type type, QPoint local, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, QPointF(local), QPointF(widget.mapToGlobal(local)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

} // namespace

void clickAt(QWidget& widget, QPoint local)
{
    // Menus ignore a release until the pointer has travelled a little since they opened.
    constexpr int kApproachSteps = 8;
    for (int step = kApproachSteps; step > 0; --step)
        sendMouse(widget, QEvent::MouseMove, local + QPoint(0, step % 2), Qt::NoButton, Qt::NoButton);
    sendMouse(widget, QEvent::MouseMove, local, Qt::NoButton, Qt::NoButton);
    sendMouse(widget, QEvent::MouseButtonPress, local, Qt::LeftButton, Qt::LeftButton);
    sendMouse(widget, QEvent::MouseButtonRelease, local, Qt::LeftButton, Qt::NoButton);
}

void clickCentre(QWidget& widget)
{
    clickAt(widget, widget.rect().center());
}

void pressKey(QWidget& widget, int key, const QString& text)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(&widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(&widget, &release);
}

void typeText(QWidget& widget, const QString& text)
{
    for (const QChar c : text) {
        const QChar upper = c.toUpper();
        const int key = upper.unicode() < 0x80 ? int{upper.unicode()} : int{Qt::Key_unknown};
        pressKey(widget, key, QString(c));
    }
}

void whenReady(QObject& context, std::function<bool()> ready, std::function<void()> then,
    std::function<void()> giveUp, int timeoutMs)
{
    auto* timer = new QTimer(&context);
    timer->setInterval(5);
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    QObject::connect(timer, &QTimer::timeout, timer,
        [timer, started, timeoutMs, ready = std::move(ready), then = std::move(then), giveUp = std::move(giveUp)] {
            if (ready()) {
                timer->stop();
                timer->deleteLater();
                then();
            } else if (started->elapsed() > timeoutMs) {
                timer->stop();
                timer->deleteLater();
                if (giveUp)
                    giveUp();
            }
        });
    timer->start();
}

} // namespace didev
