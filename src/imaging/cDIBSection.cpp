#include "imaging/cDIBSection.h"

#include "common/AutomationError.h"
#include "common/ReplacingFileWriter.h"
#include "common/SystemErrorText.h"
#include "imaging/PictureBitmap.h"
#include "imaging/PixelMemoryPool.h"
#include "imaging/Resampler.h"

#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <random>

namespace didev {

namespace {

// The section's pixel memory, owned by its bitmap entry in the graphics table.
class DibBitmap final : public BitmapObject {
public:
    DibBitmap(std::unique_ptr<uint8_t[]> bits, int width, int height, std::ptrdiff_t stride)
        : bits_(std::move(bits))
        , width_(width)
        , height_(height)
        , stride_(stride)
    {
    }

    ~DibBitmap() override
    {
        PixelMemoryPool::instance().release(std::move(bits_), static_cast<size_t>(stride_) * static_cast<size_t>(height_));
    }

    DibBitmap(const DibBitmap&) = delete;
    DibBitmap& operator=(const DibBitmap&) = delete;

    PixelView pixels() override
    {
        return PixelView{bits_.get(), width_, height_, stride_, PixelLayout::Bgr24BottomUp, true};
    }

    uint8_t* bits() const noexcept { return bits_.get(); }

private:
    std::unique_ptr<uint8_t[]> bits_;
    int width_;
    int height_;
    std::ptrdiff_t stride_;
};

// A memory device context with one bitmap selected for the length of a copy.
class ScopedSelection {
public:
    explicit ScopedSelection(std::shared_ptr<BitmapObject> bitmap)
        : context_(createMemoryContext())
        , bitmap_(registerBitmap(std::move(bitmap)))
        , previous_(selectBitmap(context_, bitmap_))
    {
    }

    ~ScopedSelection()
    {
        selectBitmap(context_, previous_);
        deleteContext(context_);
        deleteBitmap(bitmap_);
    }

    ScopedSelection(const ScopedSelection&) = delete;
    ScopedSelection& operator=(const ScopedSelection&) = delete;

    GraphicsHandle context() const noexcept { return context_; }

private:
    GraphicsHandle context_;
    GraphicsHandle bitmap_;
    GraphicsHandle previous_;
};

std::string sectionErrorSource()
{
    return executableName() + ".cDIBSection256";
}

} // namespace

cDIBSection::cDIBSection() = default;

cDIBSection::~cDIBSection()
{
    ClearUp();
}

std::string cDIBSection::ApiError(int32_t E) const
{
    return systemErrorText(E);
}

int32_t cDIBSection::BytesPerScanLine() const
{
    const int64_t stride = (static_cast<int64_t>(header_.biWidth) * 3 + 3) & ~int64_t{3};
    if (stride > std::numeric_limits<int32_t>::max())
        raiseError(ErrorNumber::Overflow);
    return static_cast<int32_t>(stride);
}

bool cDIBSection::CreateDIB(GraphicsHandle, int32_t lWidth, int32_t lHeight, GraphicsHandle& hDib)
{
    return createDib(lWidth, lHeight, hDib, true);
}

bool cDIBSection::createDib(int32_t width, int32_t height, GraphicsHandle& hDib, bool zeroFill)
{
    header_ = BitmapInfoHeader{};
    header_.biSize = BitmapInfoHeader::kSize;
    header_.biWidth = width;
    header_.biHeight = height;
    header_.biPlanes = 1;
    header_.biBitCount = 24;
    const int64_t stride = BytesPerScanLine();
    const int64_t imageSize = stride * height;
    if (imageSize > std::numeric_limits<int32_t>::max() || imageSize < std::numeric_limits<int32_t>::min())
        raiseError(ErrorNumber::Overflow);
    header_.biSizeImage = static_cast<uint32_t>(static_cast<int32_t>(imageSize));

    hDib = 0;
    bits_ = nullptr;
    if (width <= 0 || height <= 0)
        return false;
    std::unique_ptr<uint8_t[]> bits;
    try {
        bits = PixelMemoryPool::instance().acquire(static_cast<size_t>(imageSize));
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (zeroFill) {
        std::memset(bits.get(), 0, static_cast<size_t>(imageSize));
    } else {
        // The caller overwrites every pixel; padding must still read as zero.
        const int64_t pixelBytes = int64_t{3} * width;
        if (pixelBytes < stride)
            for (int32_t row = 0; row < height; ++row)
                std::memset(bits.get() + stride * row + pixelBytes, 0, static_cast<size_t>(stride - pixelBytes));
    }
    auto dib = std::make_shared<DibBitmap>(std::move(bits), width, height, static_cast<std::ptrdiff_t>(stride));
    uint8_t* const address = dib->bits();
    hDib = registerBitmap(std::move(dib));
    if (hDib != 0)
        bits_ = address;
    return hDib != 0;
}

bool cDIBSection::Create(int32_t lWidth, int32_t lHeight)
{
    return createSection(lWidth, lHeight, true);
}

bool cDIBSection::createSection(int32_t width, int32_t height, bool zeroFill)
{
    ClearUp();
    deviceContext_ = createMemoryContext();
    if (deviceContext_ == 0)
        return false;
    bool created = false;
    try {
        created = createDib(width, height, dib_, zeroFill);
    } catch (...) {
        deleteContext(deviceContext_);
        deviceContext_ = 0;
        throw;
    }
    if (created) {
        previousBitmap_ = selectBitmap(deviceContext_, dib_);
        return true;
    }
    deleteContext(deviceContext_);
    deviceContext_ = 0;
    dib_ = 0;
    return false;
}

void cDIBSection::CreateFromHandle(PictureHandle hPicture)
{
    loadFrom(Picture::fromHandle(hPicture));
}

void cDIBSection::CreateFromPicture(const PicturePtr& picThis)
{
    if (!picThis)
        raiseError(ErrorNumber::ObjectNotSet);
    loadFrom(picThis);
}

void cDIBSection::loadFrom(PicturePtr picture)
{
    const int32_t width = picture ? picture->width() : 0;
    const int32_t height = picture ? picture->height() : 0;
    // The copy below covers the whole section, so the pixels need no zero-fill first.
    if (!createSection(width, height, false))
        return;
    const ScopedSelection source(std::make_shared<PictureBitmap>(std::move(picture)));
    LoadPictureBlt(source.context(), 0, 0, -1, -1, kSourceCopy);
}

void cDIBSection::LoadPictureBlt(GraphicsHandle lhDC, int32_t lSrcLeft, int32_t lSrcTop, int32_t lSrcWidth,
    int32_t lSrcHeight, uint32_t eRop)
{
    const int32_t width = lSrcWidth < 0 ? Width() : lSrcWidth;
    const int32_t height = lSrcHeight < 0 ? Height() : lSrcHeight;
    blockTransfer(deviceContext_, 0, 0, width, height, lhDC, lSrcLeft, lSrcTop, eRop);
}

void cDIBSection::PaintPicture(GraphicsHandle lhDC, int32_t lDestLeft, int32_t lDestTop, int32_t lDestWidth,
    int32_t lDestHeight, int32_t lSrcLeft, int32_t lSrcTop, uint32_t eRop)
{
    const int32_t width = lDestWidth < 0 ? Width() : lDestWidth;
    const int32_t height = lDestHeight < 0 ? Height() : lDestHeight;
    blockTransfer(lhDC, lDestLeft, lDestTop, width, height, deviceContext_, lSrcLeft, lSrcTop, eRop);
}

void cDIBSection::RandomiseBits(bool bGray)
{
    if (!bits_)
        return;
    const auto sinceMidnight = std::chrono::system_clock::now().time_since_epoch() % std::chrono::days(1);
    std::mt19937 generator(static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::seconds>(sinceMidnight).count()));
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    const auto level = [&] { return static_cast<uint8_t>(std::nearbyint(uniform(generator) * 255.0)); };

    const int32_t width = Width();
    const int32_t height = Height();
    const std::ptrdiff_t stride = BytesPerScanLine();
    if (bGray) {
        for (int32_t row = 0; row < height; ++row)
            for (int32_t x = 0; x < width; ++x) {
                uint8_t* pixel = bits_ + stride * row + 3 * x;
                pixel[0] = pixel[1] = pixel[2] = level();
            }
    } else {
        for (int32_t x = 0; x < width; ++x)
            for (int32_t row = 0; row < height; ++row) {
                uint8_t* pixel = bits_ + stride * row + 3 * x;
                pixel[0] = 0;
                pixel[1] = level();
                pixel[2] = level();
            }
    }
}

void cDIBSection::ClearUp()
{
    if (deviceContext_ != 0) {
        if (dib_ != 0) {
            selectBitmap(deviceContext_, previousBitmap_);
            deleteBitmap(dib_);
        }
        deleteContext(deviceContext_);
    }
    deviceContext_ = 0;
    dib_ = 0;
    previousBitmap_ = 0;
    bits_ = nullptr;
}

std::unique_ptr<cDIBSection> cDIBSection::Resample(int32_t lNewHeight, int32_t lNewWidth) const
{
    auto resampled = std::make_unique<cDIBSection>();
    if (!resampled->Create(lNewWidth, lNewHeight))
        return nullptr;
    if (lNewWidth == Width() && lNewHeight == Height())
        resampled->LoadPictureBlt(hdc(), 0, 0, -1, -1, kSourceCopy);
    else
        ResampleInto(*resampled);
    return resampled;
}

void cDIBSection::ResampleInto(cDIBSection& target) const
{
    resampleBilinear(Bgr24Rows{bits_, Width(), Height(), BytesPerScanLine()},
        Bgr24Rows{target.bits_, target.Width(), target.Height(), target.BytesPerScanLine()});
}

bool cDIBSection::SavePicture(const std::string& sFileName) const
{
    ReplacingFileWriter file(sFileName);
    if (const auto& failure = file.failure()) {
        if (failure->kind == ReplacingFileWriter::Failure::Kind::Refused)
            raiseError(ErrorNumber::PathFileAccess, failure->reason());
        throw AutomationError(ErrorNumber::BitmapFileNotCreated, sectionErrorSource(), ApiError(failure->error));
    }

    const size_t imageSize = header_.biSizeImage;
    // An empty section has no pixel memory to write from; the file is then not made at all.
    if (imageSize > 0 && bits_ == nullptr)
        return false;
    const auto headers = header_.fileHeaders();
    return file.write(headers.data(), headers.size()) && file.write(bits_, imageSize) && file.commit();
}

} // namespace didev
