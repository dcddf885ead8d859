// The website's scaled copies of stored photos. Runs without a QCoreApplication, as
// pikto-service does, so the image plug-ins are found the way the service finds them.

#include "photofolder.h"
#include "thumbnailer.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <latch>
#include <random>
#include <thread>
#include <vector>

namespace {

using Kind = Thumbnailer::Result::Kind;
using Size = Thumbnailer::Size;

std::string jpegBytes(const QImage& image, int quality = 90) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(quality);
    EXPECT_TRUE(writer.write(image)) << writer.errorString().toStdString();
    return bytes.toStdString();
}

std::string pngBytes(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, "PNG"));
    return bytes.toStdString();
}

// A camera-like picture: smooth light, some structure at several scales, sensor noise.
QImage photoLike(int width, int height) {
    std::vector<double> across(width), fine(width), down(height);
    for (int x = 0; x < width; ++x) {
        across[x] = std::sin(23.0 * x / width);
        fine[x] = 20 * std::sin(150.0 * x / width);
    }
    for (int y = 0; y < height; ++y)
        down[y] = 40 * std::cos(17.0 * y / height);
    QImage image(width, height, QImage::Format_RGB32);
    std::minstd_rand noise(7);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        const int v = 255 * y / height;
        for (int x = 0; x < width; ++x) {
            const int u = 255 * x / width;
            const int shade = int(across[x] * down[y] + fine[x]) + int(noise() % 25) - 12;
            auto channel = [&](int base) { return std::clamp(base + shade, 0, 255); };
            line[x] = qRgb(channel(60 + u / 2), channel(90 + v / 2), channel(200 - u * v / 500));
        }
    }
    return image;
}

// An APP1 segment holding one EXIF entry, Orientation, in big-endian TIFF layout.
std::string exifOrientationSegment(int orientation) {
    const unsigned char segment[] = {0xFF, 0xE1,
                                     0x00, 0x22, // APP1, length 34
                                     'E',  'x',
                                     'i',  'f',
                                     0x00, 0x00, // Exif header
                                     'M',  'M',
                                     0x00, 0x2A,
                                     0x00, 0x00,
                                     0x00, 0x08, // TIFF header, IFD0 at 8
                                     0x00, 0x01, // one entry
                                     0x01, 0x12,
                                     0x00, 0x03,
                                     0x00, 0x00,
                                     0x00, 0x01, // Orientation, SHORT, count 1
                                     0x00, static_cast<unsigned char>(orientation),
                                     0x00, 0x00, // value, padding
                                     0x00, 0x00,
                                     0x00, 0x00}; // no next IFD
    return std::string(reinterpret_cast<const char*>(segment), sizeof segment);
}

QImage readImage(const std::string& path) {
    QImageReader reader(QString::fromStdString(path));
    reader.setDecideFormatFromContent(true);
    return reader.read();
}

class ThumbnailerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        std::string error;
        ASSERT_TRUE(photos_.prepare(error)) << error;
    }

    void store(std::int64_t id, const std::string& bytes) {
        const std::optional<std::string> temporary = photos_.writeTemporary(bytes);
        ASSERT_TRUE(temporary);
        ASSERT_TRUE(photos_.place(*temporary, id));
    }

    std::vector<std::string> files() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder_))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    QTemporaryDir dir_;
    std::string folder_ = dir_.path().toStdString() + "/photos";
    PhotoFolder photos_{folder_};
    Thumbnailer thumbnailer_{photos_};
};

// The service has no QCoreApplication; the JPEG plug-in must be found without one.
TEST(ThumbnailerPlugins, JpegIsReadableWithoutAnApplicationObject) {
    ASSERT_EQ(QCoreApplication::instance(), nullptr);
    EXPECT_TRUE(QImageReader::supportedImageFormats().contains("jpeg"));
    EXPECT_TRUE(QImageWriter::supportedImageFormats().contains("jpeg"));
}

TEST_F(ThumbnailerTest, TwelveMegapixelPhotoGivesSmallThumbAndScreenCopy) {
    store(1, jpegBytes(photoLike(4000, 3000)));

    const auto started = std::chrono::steady_clock::now();
    const Thumbnailer::Result thumb = thumbnailer_.derivative(1, Size::Thumb);
    const auto thumbTime = std::chrono::steady_clock::now() - started;
    ASSERT_EQ(thumb.kind, Kind::Image);
    EXPECT_EQ(thumb.path, folder_ + "/1.thumb.jpg");
    EXPECT_EQ(readImage(thumb.path).size(), QSize(400, 300));
    const auto thumbBytes = std::filesystem::file_size(thumb.path);
    EXPECT_LT(thumbBytes, 60u * 1024);

    const auto screenStarted = std::chrono::steady_clock::now();
    const Thumbnailer::Result screen = thumbnailer_.derivative(1, Size::Screen);
    const auto screenTime = std::chrono::steady_clock::now() - screenStarted;
    ASSERT_EQ(screen.kind, Kind::Image);
    EXPECT_EQ(readImage(screen.path).size(), QSize(1600, 1200));

    using std::chrono::milliseconds;
    std::printf(
        "12 MP JPEG (%zu bytes): thumb %lld ms, %ju bytes; screen %lld ms, %ju bytes\n",
        static_cast<std::size_t>(std::filesystem::file_size(photos_.pathFor(1))),
        static_cast<long long>(std::chrono::duration_cast<milliseconds>(thumbTime).count()),
        static_cast<std::uintmax_t>(thumbBytes),
        static_cast<long long>(std::chrono::duration_cast<milliseconds>(screenTime).count()),
        static_cast<std::uintmax_t>(std::filesystem::file_size(screen.path)));
}

TEST_F(ThumbnailerTest, ExifOrientationTurnsTheThumbUpright) {
    // Stored landscape, left half red, right half blue; orientation 6 shows it turned a
    // quarter clockwise: portrait, red on top.
    QImage stored(800, 600, QImage::Format_RGB32);
    stored.fill(Qt::blue);
    for (int y = 0; y < 600; ++y)
        for (int x = 0; x < 400; ++x)
            stored.setPixel(x, y, qRgb(255, 0, 0));
    std::string bytes = jpegBytes(stored);
    ASSERT_EQ(bytes.substr(0, 2), "\xFF\xD8");
    bytes.insert(2, exifOrientationSegment(6));
    store(2, bytes);

    const Thumbnailer::Result thumb = thumbnailer_.derivative(2, Size::Thumb);
    ASSERT_EQ(thumb.kind, Kind::Image);
    const QImage image = readImage(thumb.path);
    ASSERT_EQ(image.size(), QSize(300, 400));
    EXPECT_GT(qRed(image.pixel(150, 50)), 200);
    EXPECT_LT(qBlue(image.pixel(150, 50)), 60);
    EXPECT_GT(qBlue(image.pixel(150, 350)), 200);
    EXPECT_LT(qRed(image.pixel(150, 350)), 60);
}

TEST_F(ThumbnailerTest, SmallImageIsNotEnlargedWhateverItsFormat) {
    // Stored under the ".jpg" name, but the bytes are a PNG.
    store(3, pngBytes(photoLike(120, 90)));
    for (Size size : {Size::Thumb, Size::Screen}) {
        const Thumbnailer::Result result = thumbnailer_.derivative(3, size);
        ASSERT_EQ(result.kind, Kind::Image);
        QImageReader reader(QString::fromStdString(result.path));
        reader.setDecideFormatFromContent(true);
        EXPECT_EQ(reader.format(), "jpeg");
        EXPECT_EQ(reader.size(), QSize(120, 90));
    }
}

TEST_F(ThumbnailerTest, TransparencyIsShownOnWhite) {
    QImage clear(50, 50, QImage::Format_ARGB32);
    clear.fill(Qt::transparent);
    store(4, pngBytes(clear));
    const Thumbnailer::Result thumb = thumbnailer_.derivative(4, Size::Thumb);
    ASSERT_EQ(thumb.kind, Kind::Image);
    EXPECT_GT(qGray(readImage(thumb.path).pixel(25, 25)), 245);
}

TEST_F(ThumbnailerTest, BytesThatAreNoImageAreMarkedOnceAndGetNoCopy) {
    store(5, "this is a text file, not a photo\n");
    EXPECT_EQ(thumbnailer_.derivative(5, Size::Thumb).kind, Kind::NotAnImage);
    EXPECT_EQ(files(), (std::vector<std::string>{"5.jpg", "5.notimage"}));
    struct stat first {};
    ASSERT_EQ(::stat(photos_.derivedPath(5, PhotoFolder::Derived::NotAnImageMark).c_str(), &first),
              0);

    // The mark answers: the bytes are not decoded again, so the mark is not written again.
    EXPECT_EQ(thumbnailer_.derivative(5, Size::Screen).kind, Kind::NotAnImage);
    struct stat second {};
    ASSERT_EQ(::stat(photos_.derivedPath(5, PhotoFolder::Derived::NotAnImageMark).c_str(), &second),
              0);
    EXPECT_EQ(first.st_ino, second.st_ino);
    EXPECT_EQ(files(), (std::vector<std::string>{"5.jpg", "5.notimage"}));
}

TEST_F(ThumbnailerTest, AbsurdDeclaredSizeIsRefusedWithoutDecoding) {
    // A small baseline JPEG whose frame header claims 20000 x 20000 pixels.
    std::string bytes = jpegBytes(photoLike(64, 64));
    const std::size_t frame = bytes.find("\xFF\xC0");
    ASSERT_NE(frame, std::string::npos);
    bytes.replace(frame + 5, 4, std::string("\x4E\x20\x4E\x20", 4));
    store(6, bytes);
    QImageReader scaled(QString::fromStdString(photos_.pathFor(6)));
    scaled.setScaledSize(QSize(400, 400));
    ASSERT_FALSE(scaled.read().isNull()) << "decodable scaled: only its declared size refuses it";

    EXPECT_EQ(thumbnailer_.derivative(6, Size::Thumb).kind, Kind::NotAnImage);
    EXPECT_FALSE(std::filesystem::exists(photos_.derivedPath(6, PhotoFolder::Derived::Thumb)));
}

TEST_F(ThumbnailerTest, MissingPhotoIsReportedAndLeavesNothing) {
    EXPECT_EQ(thumbnailer_.derivative(7, Size::Thumb).kind, Kind::Missing);
    EXPECT_TRUE(files().empty());
}

TEST_F(ThumbnailerTest, SecondRequestReusesTheKeptCopy) {
    store(8, jpegBytes(photoLike(900, 700)));
    const Thumbnailer::Result made = thumbnailer_.derivative(8, Size::Thumb);
    ASSERT_EQ(made.kind, Kind::Image);
    struct stat first {};
    ASSERT_EQ(::stat(made.path.c_str(), &first), 0);

    const Thumbnailer::Result again = thumbnailer_.derivative(8, Size::Thumb);
    ASSERT_EQ(again.kind, Kind::Image);
    EXPECT_EQ(again.path, made.path);
    struct stat second {};
    ASSERT_EQ(::stat(again.path.c_str(), &second), 0);
    EXPECT_EQ(first.st_ino, second.st_ino);
    EXPECT_EQ(first.st_mtim.tv_sec, second.st_mtim.tv_sec);
    EXPECT_EQ(first.st_mtim.tv_nsec, second.st_mtim.tv_nsec);
}

TEST_F(ThumbnailerTest, CopyOlderThanThePhotoIsMadeAgain) {
    // A photo stored again under an id whose old copy survived (an interrupted removal).
    store(9, jpegBytes(photoLike(900, 700)));
    const std::string thumb = thumbnailer_.derivative(9, Size::Thumb).path;
    ASSERT_FALSE(thumb.empty());
    const timespec past[2] = {{1000, 0}, {1000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, thumb.c_str(), past, 0), 0);
    store(9, jpegBytes(photoLike(300, 600)));

    ASSERT_EQ(thumbnailer_.derivative(9, Size::Thumb).kind, Kind::Image);
    EXPECT_EQ(readImage(thumb).size(), QSize(200, 400));
}

TEST_F(ThumbnailerTest, RemovingThePhotoRemovesItsCopiesAndMark) {
    store(10, jpegBytes(photoLike(900, 700)));
    store(11, "no image");
    ASSERT_EQ(thumbnailer_.derivative(10, Size::Thumb).kind, Kind::Image);
    ASSERT_EQ(thumbnailer_.derivative(10, Size::Screen).kind, Kind::Image);
    ASSERT_EQ(thumbnailer_.derivative(11, Size::Thumb).kind, Kind::NotAnImage);
    store(12, "another photo");

    photos_.remove(10);
    photos_.remove(11);
    EXPECT_EQ(files(), std::vector<std::string>{"12.jpg"});
}

TEST_F(ThumbnailerTest, PrepareRemovesInterruptedWritesAndKeepsTheRest) {
    store(13, jpegBytes(photoLike(900, 700)));
    ASSERT_EQ(thumbnailer_.derivative(13, Size::Thumb).kind, Kind::Image);
    for (const char* leftover : {"/.derived-Ab12Cd", "/.incoming-Xy34Zw"})
        QFile(QString::fromStdString(folder_ + leftover)).open(QIODevice::WriteOnly);
    ASSERT_EQ(files().size(), 4u);

    std::string error;
    ASSERT_TRUE(photos_.prepare(error)) << error;
    EXPECT_EQ(files(), (std::vector<std::string>{"13.jpg", "13.thumb.jpg"}));
}

TEST_F(ThumbnailerTest, SimultaneousRequestsAllGetACompleteCopy) {
    store(14, jpegBytes(photoLike(2000, 1500)));
    constexpr int kThreads = 6;
    std::latch start(kThreads);
    std::vector<Thumbnailer::Result> results(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
        threads.emplace_back([&, i] {
            start.arrive_and_wait();
            results[i] = thumbnailer_.derivative(14, i % 2 ? Size::Thumb : Size::Screen);
        });
    for (std::thread& thread : threads)
        thread.join();

    for (int i = 0; i < kThreads; ++i) {
        ASSERT_EQ(results[i].kind, Kind::Image) << "request " << i;
        EXPECT_EQ(readImage(results[i].path).size(), i % 2 ? QSize(400, 300) : QSize(1600, 1200));
    }
    EXPECT_EQ(files(), (std::vector<std::string>{"14.jpg", "14.screen.jpg", "14.thumb.jpg"}));
}

} // namespace
