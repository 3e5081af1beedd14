#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

#include <cstddef>

namespace didev {

// A picture as a print document keeps it until its pages are drawn: either the compressed bytes
// of a picture file, decoded afresh each time a page is drawn, or pixels no larger than the
// size they are printed at. Copies share the bytes or pixels.
class RecordedPicture {
public:
    RecordedPicture() = default;

    // The contents of a picture file (JPEG, PNG, ...); null when they do not name a picture size.
    static RecordedPicture fromEncoded(QByteArray bytes);
    // The pixels scaled down, smoothly, to at most `largest` on each side; never enlarged.
    // An empty `largest` keeps the picture's own size.
    static RecordedPicture fromImage(const QImage& image, QSize largest = {});

    bool isNull() const noexcept { return size_.isEmpty(); }
    bool isEncoded() const noexcept { return !encoded_.isEmpty(); }
    // Pixels of the picture as it is drawn.
    QSize size() const noexcept { return size_; }
    // The picture to draw: decoded from the bytes (null when they no longer decode) or the pixels,
    // scaled down to at most `largest` on each side when that is given.
    QImage image(QSize largest = {}) const;
    // Memory held for the picture: the compressed bytes or the pixels.
    size_t retainedBytes() const noexcept;

private:
    QByteArray encoded_;
    QImage pixels_;
    QSize size_;
};

} // namespace didev
