#include "ui/Screen.h"

#include "common/Twips.h"

#include <QGuiApplication>
#include <QScreen>

namespace didev {

namespace {

std::optional<ScreenMetrics>& fixedMetrics()
{
    static std::optional<ScreenMetrics> metrics;
    return metrics;
}

} // namespace

ScreenMetrics screenMetrics()
{
    if (fixedMetrics())
        return *fixedMetrics();
    ScreenMetrics metrics;
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return metrics;
    metrics.twipsPerPixelX = twipsPerPixel(screen->logicalDotsPerInchX());
    metrics.twipsPerPixelY = twipsPerPixel(screen->logicalDotsPerInchY());
    metrics.width = screen->geometry().width() * metrics.twipsPerPixelX;
    metrics.height = screen->geometry().height() * metrics.twipsPerPixelY;
    return metrics;
}

void setFixedScreenMetrics(std::optional<ScreenMetrics> metrics)
{
    fixedMetrics() = metrics;
}

} // namespace didev
