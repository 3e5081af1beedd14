#include "capture/X11PictureOutput.h"

#include <QGuiApplication>

#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <fcntl.h>

namespace didev {

namespace {

xcb_connection_t* qtConnection()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

// The reply of `cookie`, freed with it; null on an error.
template <typename Reply>
struct ReplyPtr {
    Reply* reply;
    explicit ReplyPtr(Reply* r) : reply(r) {}
    ~ReplyPtr() { std::free(reply); }
    ReplyPtr(const ReplyPtr&) = delete;
    ReplyPtr& operator=(const ReplyPtr&) = delete;
    Reply* operator->() const { return reply; }
    explicit operator bool() const { return reply != nullptr; }
};

// True when the request of `cookie` went through; frees the error when it did not. A connection
// that broke (one that cannot pass descriptors, to a remote display, breaks at the first
// attach) reports no error for the request: it is a failure too.
bool succeeded(xcb_connection_t* c, xcb_void_cookie_t cookie)
{
    xcb_generic_error_t* error = xcb_request_check(c, cookie);
    std::free(error);
    return error == nullptr && !xcb_connection_has_error(c);
}

// Whether `visual` of `screen` at depth 24 keeps red, green and blue in the bytes BGRx puts them.
bool isBgrxVisual(const xcb_screen_t* screen, xcb_visualid_t visual)
{
    for (auto depths = xcb_screen_allowed_depths_iterator(screen); depths.rem; xcb_depth_next(&depths)) {
        if (depths.data->depth != 24)
            continue;
        for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem; xcb_visualtype_next(&visuals)) {
            const xcb_visualtype_t* type = visuals.data;
            if (type->visual_id == visual)
                return type->_class == XCB_VISUAL_CLASS_TRUE_COLOR && type->red_mask == 0xff0000
                       && type->green_mask == 0x00ff00 && type->blue_mask == 0x0000ff;
        }
    }
    return false;
}

// Whether the X server lays a depth-24 image out as 32-bit pixels, least significant byte first.
bool takesBgrxImages(xcb_connection_t* c)
{
    const xcb_setup_t* setup = xcb_get_setup(c);
    if (setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST)
        return false;
    for (auto formats = xcb_setup_pixmap_formats_iterator(setup); formats.rem; xcb_format_next(&formats)) {
        if (formats.data->depth == 24)
            return formats.data->bits_per_pixel == 32;
    }
    return false;
}

std::vector<xcb_rectangle_t> rectanglesOf(const QRegion& region)
{
    std::vector<xcb_rectangle_t> rectangles;
    for (const QRect& r : region) {
        rectangles.push_back({static_cast<int16_t>(r.x()), static_cast<int16_t>(r.y()), static_cast<uint16_t>(r.width()),
                              static_cast<uint16_t>(r.height())});
    }
    return rectangles;
}

} // namespace

bool X11PictureOutput::available()
{
    return available(qtConnection());
}

bool X11PictureOutput::available(xcb_connection_t* c)
{
    if (!c || xcb_connection_has_error(c))
        return false;
    const xcb_query_extension_reply_t* shm = xcb_get_extension_data(c, &xcb_shm_id);
    if (!shm || !shm->present)
        return false;
    const ReplyPtr version(xcb_shm_query_version_reply(c, xcb_shm_query_version(c), nullptr));
    return version && (version->major_version > 1 || (version->major_version == 1 && version->minor_version >= 2))
           && takesBgrxImages(c);
}

std::unique_ptr<X11PictureOutput> X11PictureOutput::forWindow(uint32_t window)
{
    if (!window)
        return nullptr;
    // A connection of its own, which no other thread reads: the X server's word that it has
    // read a picture waits there until the next put looks, and wakes nobody.
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    std::unique_ptr<X11PictureOutput> output(new X11PictureOutput(c, window));
    if (xcb_connection_has_error(c) || !available(c))
        return nullptr;
    const ReplyPtr geometry(xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr));
    const ReplyPtr attributes(xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr));
    if (!geometry || !attributes || geometry->depth != 24)
        return nullptr;
    const xcb_screen_t* screen = nullptr;
    for (auto screens = xcb_setup_roots_iterator(xcb_get_setup(c)); screens.rem; xcb_screen_next(&screens)) {
        if (screens.data->root == geometry->root)
            screen = screens.data;
    }
    if (!screen || !isBgrxVisual(screen, attributes->visual))
        return nullptr;
    const uint32_t context = xcb_generate_id(c);
    const uint32_t values[] = {0 /* black in a BGRx visual */, 0 /* no exposure events */};
    if (!succeeded(c, xcb_create_gc_checked(c, context, window, XCB_GC_FOREGROUND | XCB_GC_GRAPHICS_EXPOSURES, values)))
        return nullptr;
    output->context_ = context;
    return output;
}

X11PictureOutput::X11PictureOutput(xcb_connection_t* connection, uint32_t window)
    : connection_(connection)
    , window_(window)
{
}

X11PictureOutput::~X11PictureOutput()
{
    if (!xcb_connection_has_error(connection_)) {
        settle();
        for (const Attached& attached : attached_)
            xcb_shm_detach(connection_, attached.segment);
        if (context_)
            xcb_free_gc(connection_, context_);
        xcb_flush(connection_);
    }
    xcb_disconnect(connection_);
}

bool X11PictureOutput::settle()
{
    // Completion events, and errors of requests not checked (a fill on a window gone), are
    // only read to be let go of.
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_))
        std::free(event);
    if (!lastPut_)
        return true;
    const bool read = succeeded(connection_, xcb_void_cookie_t{lastPut_});
    lastPut_ = 0;
    held_ = QImage();
    return read;
}

uint32_t X11PictureOutput::segmentOf(const std::shared_ptr<const ViewMemory>& memory)
{
    xcb_connection_t* c = connection_;
    // Memory files let go of since are detached; the X server has read them, as every put settles.
    std::erase_if(attached_, [c](const Attached& attached) {
        if (!attached.memory.expired())
            return false;
        xcb_shm_detach(c, attached.segment);
        return true;
    });
    for (const Attached& attached : attached_) {
        if (attached.memory.lock() == memory)
            return attached.segment;
    }
    // The connection sends the descriptor and closes it.
    const int fd = ::fcntl(memory->fd(), F_DUPFD_CLOEXEC, 0);
    if (fd < 0)
        return 0;
    const uint32_t segment = xcb_generate_id(c);
    if (!succeeded(c, xcb_shm_attach_fd_checked(c, segment, fd, 1)))
        return 0;
    attached_.push_back({memory, segment});
    return segment;
}

std::shared_ptr<const ViewMemory> X11PictureOutput::staged(const QImage& image)
{
    if (stagingImage_.size() != image.size())
        stagingImage_ = ViewMemory::newImage(image.size(), staging_);
    if (stagingImage_.isNull())
        return nullptr;
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(stagingImage_.scanLine(y), image.constScanLine(y), size_t(image.width()) * 4);
    return staging_;
}

bool X11PictureOutput::put(const QImage& image, std::shared_ptr<const ViewMemory> memory, QPoint at,
                           const QRegion& black)
{
    xcb_connection_t* c = connection_;
    // The picture put last may be in the memory about to be written (the staging copy's), and
    // it is let go of only once the X server has read it.
    if (!settle())
        return false;
    if (image.isNull() || image.format() != QImage::Format_RGB32)
        return false;
    QImage source = image;
    if (!memory) {
        memory = staged(image);
        source = stagingImage_;
    }
    if (!memory)
        return false;
    const uint32_t segment = segmentOf(memory);
    if (!segment)
        return false;
    const auto width = static_cast<uint16_t>(source.width());
    const auto height = static_cast<uint16_t>(source.height());
    // With a completion event for the put, settling it at the next put finds the X server's
    // word already on the connection and needs no round trip.
    const xcb_void_cookie_t cookie =
        xcb_shm_put_image_checked(c, window_, context_, static_cast<uint16_t>(source.bytesPerLine() / 4), height, 0, 0,
                                  width, height, static_cast<int16_t>(at.x()), static_cast<int16_t>(at.y()), 24,
                                  XCB_IMAGE_FORMAT_Z_PIXMAP, 1, segment, 0);
    lastPut_ = cookie.sequence;
    held_ = source;
    fill(black);
    return true;
}

void X11PictureOutput::fill(const QRegion& region)
{
    xcb_connection_t* c = connection_;
    if (!region.isEmpty()) {
        const std::vector<xcb_rectangle_t> rectangles = rectanglesOf(region);
        xcb_poly_fill_rectangle(c, window_, context_, static_cast<uint32_t>(rectangles.size()), rectangles.data());
    }
    xcb_flush(c);
}

} // namespace didev
