#include "thumbnailer.h"

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

using Kind = Thumbnailer::Result::Kind;

std::optional<timespec> modified(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return std::nullopt;
    return info.st_mtim;
}

bool notOlder(const timespec& a, const timespec& b) {
    return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec >= b.tv_nsec;
}

// The size with its long side brought down to longSide, the proportions kept.
QSize fitted(const QSize& size, int longSide) {
    const int longest = std::max(size.width(), size.height());
    if (longest <= longSide)
        return size;
    const double factor = double(longSide) / longest;
    return QSize(std::max(1, int(std::lround(size.width() * factor))),
                 std::max(1, int(std::lround(size.height() * factor))));
}

enum class Decoded { Image, NotAnImage, Failed };

// Decodes the file at most longSide on its long side, upright as its EXIF orientation says.
// JPEGs are decoded scaled down by the decoder itself, which keeps a large photo fast and small.
Decoded decode(const std::string& path, int longSide, QImage& image) {
    QImageReader reader(QFile::decodeName(QByteArray::fromStdString(path)));
    // The stored name always ends in ".jpg"; what was uploaded may be another format.
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    const QSize declared = reader.size();
    if (declared.isValid()) {
        if (std::int64_t(declared.width()) * declared.height() > Thumbnailer::kMaxPixels)
            return Decoded::NotAnImage;
        // Applied before the orientation turn; the long side is the same either way.
        if (std::max(declared.width(), declared.height()) > longSide)
            reader.setScaledSize(fitted(declared, longSide));
    }
    if (!reader.read(&image)) {
        const auto error = reader.error();
        return error == QImageReader::DeviceError || error == QImageReader::FileNotFoundError
                   ? Decoded::Failed
                   : Decoded::NotAnImage;
    }
    // Formats that do not declare their size are scaled after decoding.
    if (std::max(image.width(), image.height()) > longSide)
        image = image.scaled(fitted(image.size(), longSide), Qt::IgnoreAspectRatio,
                             Qt::SmoothTransformation);
    return Decoded::Image;
}

// JPEG has no transparency: transparent parts are shown on white rather than on black.
QImage opaque(const QImage& image) {
    if (!image.hasAlphaChannel())
        return image;
    QImage flat(image.size(), QImage::Format_RGB32);
    flat.fill(Qt::white);
    QPainter painter(&flat);
    painter.drawImage(0, 0, image);
    return flat;
}

std::optional<std::string> encodeJpeg(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly))
        return std::nullopt;
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(Thumbnailer::kJpegQuality);
    writer.setOptimizedWrite(true);
    writer.setProgressiveScanWrite(true);
    if (!writer.write(opaque(image)))
        return std::nullopt;
    return bytes.toStdString();
}

} // namespace

Thumbnailer::Result Thumbnailer::derivative(std::int64_t id, Size size) const {
    const std::string photo = photos_.pathFor(id);
    const auto which =
        size == Size::Thumb ? PhotoFolder::Derived::Thumb : PhotoFolder::Derived::Screen;
    const std::string path = photos_.derivedPath(id, which);
    const std::string mark = photos_.derivedPath(id, PhotoFolder::Derived::NotAnImageMark);

    const std::optional<timespec> photoTime = modified(photo);
    if (!photoTime)
        return {Kind::Missing, {}};
    // A kept file older than the photo was made from an earlier photo of the same id.
    if (const auto made = modified(path); made && notOlder(*made, *photoTime))
        return {Kind::Image, path};
    if (const auto marked = modified(mark); marked && notOlder(*marked, *photoTime))
        return {Kind::NotAnImage, {}};

    QImage image;
    switch (decode(photo, longSide(size), image)) {
    case Decoded::Image:
        break;
    case Decoded::NotAnImage:
        // Only a failed write of the mark is lost here: the next request decodes again.
        photos_.writeDerived(id, PhotoFolder::Derived::NotAnImageMark, {});
        return {Kind::NotAnImage, {}};
    case Decoded::Failed:
        return {modified(photo) ? Kind::Failed : Kind::Missing, {}};
    }
    const std::optional<std::string> jpeg = encodeJpeg(image);
    if (!jpeg || !photos_.writeDerived(id, which, *jpeg))
        return {Kind::Failed, {}};
    // The photo was removed while its copy was being made: the copy must not outlive it.
    if (!modified(photo)) {
        ::unlink(path.c_str());
        return {Kind::Missing, {}};
    }
    return {Kind::Image, path};
}
