#pragma once

#include <optional>

namespace didev {

// The primary screen as the module's geometry sees it: size in twips and twips per pixel.
struct ScreenMetrics {
    double width = 0;             // twips
    double height = 0;            // twips
    double twipsPerPixelX = 15;
    double twipsPerPixelY = 15;
};

// The primary screen now, or the fixed screen that tests have set.
ScreenMetrics screenMetrics();

// Tests fix the screen so geometry is exact on any display; nothing restores the real one.
void setFixedScreenMetrics(std::optional<ScreenMetrics> metrics);

} // namespace didev
