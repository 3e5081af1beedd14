#pragma once

#include "common/Picture.h"
#include "imaging/BitmapInfoHeader.h"
#include "imaging/GraphicsObjects.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace didev {

// One picture as a 24-bit device-independent section: pixel memory with rows bottom-up,
// blue-green-red, each row padded to a multiple of 4 bytes, selected into a memory device
// context of its own so block transfers reach it. Empty until a Create succeeds; Width,
// Height and BytesPerScanLine keep the geometry of the last CreateDIB even when empty.
class cDIBSection {
public:
    cDIBSection();
    ~cDIBSection();
    cDIBSection(const cDIBSection&) = delete;
    cDIBSection& operator=(const cDIBSection&) = delete;

    // Copies the picture to the clipboard as an image. bAsDIB tells the user that only the
    // image form is offered and gives false; false also without a display.
    bool CopyToClipboard(bool bAsDIB);
    // The system's message text for an errno value.
    std::string ApiError(int32_t E) const;

    // Fills the header for lWidth x lHeight and makes the pixel memory (zero-filled);
    // hDib receives the bitmap's handle, 0 when it cannot be made.
    bool CreateDIB(GraphicsHandle lhDC, int32_t lWidth, int32_t lHeight, GraphicsHandle& hDib);
    // A section the size of the picture of that handle, holding its pixels; nothing more
    // happens (after the section was cleared) for a handle that names no picture.
    void CreateFromHandle(PictureHandle hPicture);
    // As CreateFromHandle for a picture object; none raises error 91.
    void CreateFromPicture(const PicturePtr& picThis);
    bool Create(int32_t lWidth, int32_t lHeight);

    int32_t BytesPerScanLine() const;
    int32_t Width() const noexcept { return header_.biWidth; }
    int32_t Height() const noexcept { return header_.biHeight; }

    // Block transfer from lhDC at (lSrcLeft, lSrcTop) into the section at (0, 0); a negative
    // width or height stands for the section's own.
    void LoadPictureBlt(GraphicsHandle lhDC, int32_t lSrcLeft = 0, int32_t lSrcTop = 0, int32_t lSrcWidth = -1,
        int32_t lSrcHeight = -1, uint32_t eRop = kSourceCopy);
    // Block transfer from the section at (lSrcLeft, lSrcTop) to lhDC at (lDestLeft, lDestTop);
    // a negative width or height stands for the section's own.
    void PaintPicture(GraphicsHandle lhDC, int32_t lDestLeft = 0, int32_t lDestTop = 0, int32_t lDestWidth = -1,
        int32_t lDestHeight = -1, int32_t lSrcLeft = 0, int32_t lSrcTop = 0, uint32_t eRop = kSourceCopy);

    GraphicsHandle hdc() const noexcept { return deviceContext_; }
    GraphicsHandle hDib() const noexcept { return dib_; }
    uint8_t* DIBSectionBitsPtr() const noexcept { return bits_; }
    const BitmapInfoHeader& header() const noexcept { return header_; }

    // Noise: grey (blue = green = red) or, otherwise, blue 0 with random green and red.
    void RandomiseBits(bool bGray);
    void ClearUp();

    // A new section lNewWidth x lNewHeight (height first), bilinearly resampled; an exact
    // copy at the same size; nothing when the new section cannot be made.
    std::unique_ptr<cDIBSection> Resample(int32_t lNewHeight, int32_t lNewWidth) const;

    // Writes a bitmap file (file header, the 40-byte header, the pixel memory as it lies) in
    // place of what stands at the name. A file that cannot be created raises error 17 with the
    // system's text, a FIFO, socket or device at the name error 75. A write that fails (a full
    // disk) gives false; the new file is then removed and what stood at the name stays.
    bool SavePicture(const std::string& sFileName) const;

private:
    void ResampleInto(cDIBSection& target) const;

    // Create without zero-filling the pixels, for a copy that overwrites every one of them.
    bool createSection(int32_t width, int32_t height, bool zeroFill);
    bool createDib(int32_t width, int32_t height, GraphicsHandle& hDib, bool zeroFill);
    void loadFrom(PicturePtr picture);

    GraphicsHandle dib_ = 0;
    GraphicsHandle previousBitmap_ = 0;
    GraphicsHandle deviceContext_ = 0;
    uint8_t* bits_ = nullptr;
    BitmapInfoHeader header_;
};

} // namespace didev
