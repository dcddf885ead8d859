// The upload form parsed as it arrives: any split of the body gives the same parts, and a
// file part goes to disk, never into memory.

#include "multipartform.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>

namespace {

class MultipartFormTest : public ::testing::Test {
protected:
    MultipartForm::FileMaker files() {
        return [this]() -> std::optional<std::pair<int, std::string>> {
            const std::string path =
                folder.filePath(QStringLiteral("part-%1").arg(++made)).toStdString();
            const int fd = ::open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
            if (fd < 0)
                return std::nullopt;
            return std::make_pair(fd, path);
        };
    }
    int filesLeft() const {
        return static_cast<int>(QDir(folder.path()).entryList(QDir::Files).size());
    }

    QTemporaryDir folder;
    int made = 0;
};

// Image bytes that start like a delimiter, twice, without being one.
constexpr std::string_view kImage = "\r\n--X\r\n--XA-not-yet";
const std::string kForm =
    "--XB\r\nContent-Disposition: form-data; name=\"token\"\r\n\r\ntok-alice\r\n"
    "--XB\r\nContent-Disposition: form-data; name=\"image\"; filename=\"a b.jpg\"\r\n"
    "Content-Type: image/jpeg\r\n\r\n" +
    std::string(kImage) + "\r\n--XB--";

TEST_F(MultipartFormTest, EverySplitOfTheBodyGivesTheSamePartsWithTheFileOnDisk) {
    for (const std::size_t piece : {std::size_t{1}, std::size_t{2}, std::size_t{5}, kForm.size()}) {
        MultipartForm form("XB", files());
        for (std::size_t at = 0; at < kForm.size(); at += piece)
            ASSERT_TRUE(form.feed(std::string_view(kForm).substr(at, piece))) << piece;
        ASSERT_TRUE(form.complete()) << piece;
        ASSERT_TRUE(form.part("token"));
        EXPECT_EQ(form.part("token")->content, "tok-alice");
        const MultipartForm::Part* image = form.part("image");
        ASSERT_TRUE(image);
        EXPECT_EQ(image->filename, "a b.jpg");
        EXPECT_TRUE(image->content.empty());
        QFile file(QString::fromStdString(image->file));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll().toStdString(), kImage);
        EXPECT_EQ(image->size, kImage.size());
    }
    // Each form removed its file when it went.
    EXPECT_EQ(filesLeft(), 0);
}

struct BrokenCase {
    const char* fault;
    std::string body;
};

TEST_F(MultipartFormTest, AMalformedOrOversizedFormIsRefusedAndLeavesNoFile) {
    const std::string image = "--XB\r\nContent-Disposition: form-data; name=\"image\"; "
                              "filename=\"x.jpg\"\r\n\r\nbytes";
    const BrokenCase cases[] = {
        {"no closing delimiter", image},
        {"text after the closing delimiter", image + "\r\n--XB--\r\nmore"},
        {"a part named twice, each with a file",
         "--XB\r\nContent-Disposition: form-data; name=\"a\"; filename=\"1\"\r\n"
         "Content-Disposition: form-data; name=\"b\"; filename=\"2\"\r\n\r\nx\r\n--XB--"},
        {"a part without a name", "--XB\r\nContent-Type: text/plain\r\n\r\nx\r\n--XB--"},
        {"a field over the limit", "--XB\r\nContent-Disposition: form-data; name=\"f\"\r\n\r\n" +
                                       std::string(MultipartForm::kFieldBytes + 1, 'f') +
                                       "\r\n--XB--"},
        {"an endless part head",
         "--XB\r\nX: " + std::string(MultipartForm::kPartHeadBytes + 1, 'h')},
    };
    for (const BrokenCase& c : cases) {
        {
            MultipartForm form("XB", files());
            form.feed(c.body);
            EXPECT_FALSE(form.complete()) << c.fault;
        }
        EXPECT_EQ(filesLeft(), 0) << c.fault;
    }
}

} // namespace
