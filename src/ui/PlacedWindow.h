#pragma once

namespace didev {

// A top-level window as the placement rules see it: its outer frame in twips. Setting one edge
// or size leaves the others where they are.
class PlacedWindow {
public:
    virtual ~PlacedWindow() = default;

    virtual double left() const = 0;
    virtual double top() const = 0;
    virtual double width() const = 0;
    virtual double height() const = 0;

    virtual void setLeft(double twips) = 0;
    virtual void setTop(double twips) = 0;
    virtual void setWidth(double twips) = 0;
    virtual void setHeight(double twips) = 0;
};

} // namespace didev
