#include "viewer/RecordedPicture.h"

#include <QBuffer>
#include <QImageReader>

#include <algorithm>

namespace didev {

namespace {

// Reads the bytes as they would be read from their file, without turning by orientation tags.
class ByteReader {
public:
    explicit ByteReader(const QByteArray& bytes)
    {
        buffer_.setData(bytes);
        buffer_.open(QIODevice::ReadOnly);
        reader_.setDevice(&buffer_);
        reader_.setAutoTransform(false);
    }

    QImageReader& reader() noexcept { return reader_; }

private:
    QBuffer buffer_;
    QImageReader reader_;
};

} // namespace

RecordedPicture RecordedPicture::fromEncoded(QByteArray bytes)
{
    RecordedPicture picture;
    const QSize size = ByteReader(bytes).reader().size();
    if (size.isEmpty())
        return picture;
    picture.encoded_ = std::move(bytes);
    // A file read in one go may leave room for more behind its bytes.
    if (picture.encoded_.capacity() > picture.encoded_.size())
        picture.encoded_.squeeze();
    picture.size_ = size;
    return picture;
}

RecordedPicture RecordedPicture::fromImage(const QImage& image, QSize largest)
{
    RecordedPicture picture;
    if (image.isNull())
        return picture;
    const QSize kept = largest.isEmpty() ? image.size() : image.size().boundedTo(largest);
    picture.pixels_ = kept == image.size() ? image : image.scaled(kept, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    picture.size_ = kept;
    return picture;
}

QImage RecordedPicture::image(QSize largest) const
{
    const QSize wanted = largest.isEmpty() ? size_ : size_.boundedTo(largest);
    if (!isEncoded())
        return wanted == size_ ? pixels_ : pixels_.scaled(wanted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    ByteReader bytes(encoded_);
    // A JPEG decoder can leave out detail while decoding, at a fraction of the memory and time.
    if (wanted != size_)
        bytes.reader().setScaledSize(wanted);
    QImage decoded;
    bytes.reader().read(&decoded);
    return decoded;
}

size_t RecordedPicture::retainedBytes() const noexcept
{
    return static_cast<size_t>(encoded_.capacity()) + static_cast<size_t>(std::max<qsizetype>(pixels_.sizeInBytes(), 0));
}

} // namespace didev
