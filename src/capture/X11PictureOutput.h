#pragma once

#include "capture/VideoFrame.h"

#include <QRegion>

#include <cstdint>
#include <memory>
#include <vector>

struct xcb_connection_t;

namespace didev {

// Puts the view's pictures on one X window straight from the memory files the scaler wrote them
// into (MIT-SHM, the file passed by descriptor): the X server copies them to the screen, and
// neither this process nor Qt's backing store copies them again. One thread at a time.
class X11PictureOutput {
public:
    // Whether the application runs on an X server that maps memory files (MIT-SHM 1.2).
    static bool available();
    // An output to `window`; nothing when the window's pixels are not 32-bit BGRx (depth 24,
    // true colour, least significant byte first) or the X server cannot take it.
    static std::unique_ptr<X11PictureOutput> forWindow(uint32_t window);

    ~X11PictureOutput();
    X11PictureOutput(const X11PictureOutput&) = delete;
    X11PictureOutput& operator=(const X11PictureOutput&) = delete;

    // `image` (BGRx), which lives in `memory`, with its top left at `at`, and `black` filled
    // with black; a picture not in a memory file is first copied into one of this output's own.
    // The image is held until the X server has read it, so its maker cannot write it again
    // before. False when the X server refused.
    bool put(const QImage& image, std::shared_ptr<const ViewMemory> memory, QPoint at, const QRegion& black);
    // `region` filled with black.
    void fill(const QRegion& region);

private:
    struct Attached {
        std::weak_ptr<const ViewMemory> memory;
        uint32_t segment;
    };

    X11PictureOutput(xcb_connection_t* connection, uint32_t window);

    static bool available(xcb_connection_t* connection);

    // The X server's segment for `memory`, attached at its first use; 0 when it refused it.
    uint32_t segmentOf(const std::shared_ptr<const ViewMemory>& memory);
    // `image`, which is not in a memory file, copied into one of this output's own.
    std::shared_ptr<const ViewMemory> staged(const QImage& image);
    // Waits for the X server to have read the picture put last and lets go of its frame.
    bool settle();

    xcb_connection_t* connection_;
    uint32_t window_;
    uint32_t context_ = 0;   // fills black
    std::vector<Attached> attached_;
    QImage stagingImage_;
    std::shared_ptr<const ViewMemory> staging_;
    QImage held_;
    unsigned int lastPut_ = 0;   // sequence number of the last put, 0: none outstanding
};

} // namespace didev
