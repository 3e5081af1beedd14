#pragma once

#include <QPoint>
#include <QString>

#include <functional>

class QObject;
class QWidget;

namespace didev {

// The hands of a person at the screen: real key and mouse events delivered to real widgets,
// through the application's event dispatch, so every filter and handler sees them as usual.

// Moves the pointer over `local` (in a few steps, as a hand does), presses and releases the
// left button there.
void clickAt(QWidget& widget, QPoint local);
void clickCentre(QWidget& widget);

// Presses and releases a key; `text` is the character it types, if any.
void pressKey(QWidget& widget, int key, const QString& text = QString());

// Types each character of `text` as its own key press.
void typeText(QWidget& widget, const QString& text);

// Calls `then` once `ready` holds, checking every few milliseconds while the event loop runs;
// calls `giveUp` instead when it has not held within `timeoutMs`. Nothing is called once
// `context` is gone.
void whenReady(QObject& context, std::function<bool()> ready, std::function<void()> then,
    std::function<void()> giveUp = {}, int timeoutMs = 3000);

} // namespace didev
