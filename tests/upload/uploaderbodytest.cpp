// The request body, byte for byte, and the size the progress total is built from.
#include "ovpiktoexporteruploader.h"
#include "uploadrecorder.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QByteArray golden(const char* name) {
    QFile file(QStringLiteral(UPLOAD_GOLDEN_DIR "/%1").arg(QLatin1String(name)));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    return file.readAll();
}

OVPiktoUploadOptions photoOptions(const QString& path = QStringLiteral(UPLOAD_GOLDEN_DIR
                                                                       "/photo.jpg")) {
    OVPiktoUploadOptions options(path);
    options.setFileName(QStringLiteral("photo.jpg"));
    options.setAlbumID(QStringLiteral("42"));
    options.setExportPluginVersion(QStringLiteral("1.2.345"));
    return options;
}

OVPiktoCredentials demoCredentials() {
    OVPiktoCredentials credentials(QStringLiteral("demo"), QStringLiteral("password"));
    credentials.setToken(QStringLiteral("demo:token"));
    return credentials;
}

QByteArray fieldPart(const char* name, const char* value) {
    return "--" + OvPiktoExporterUploader::boundary() +
           "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value + "\r\n";
}

} // namespace

TEST(UploaderBody, DefaultOptionsGiveTheSevenFieldGoldenBody) {
    OvPiktoExporterUploader uploader{ServiceUrls()};
    uploader.setUploadOptions(photoOptions());
    uploader.setCredentials(demoCredentials());

    const std::optional<QByteArray> body = uploader.createPostData();
    ASSERT_TRUE(body);
    EXPECT_EQ(*body, golden("default-body.bin"));
    EXPECT_EQ(body->count("Content-Disposition: form-data; name="), 8); // 7 fields + image
    EXPECT_TRUE(body->endsWith("--"));
    EXPECT_EQ(OvPiktoExporterUploader::closingDelimiter().size(), 65);
}

TEST(UploaderBody, AllFlagsWithFriendsAccessGiveTheGoldenHead) {
    OVPiktoUploadOptions options = photoOptions();
    options.setAccess(OVPiktoUploadOptions::Friends);
    options.setIsCommentingDisabled(true);
    options.setIsAdultsOnly(true);
    options.setIsPublishingDisabled(true);
    OvPiktoExporterUploader uploader{ServiceUrls()};
    uploader.setUploadOptions(options);
    uploader.setCredentials(demoCredentials());

    EXPECT_EQ(uploader.createPostDataHeader(), golden("all-flags-head.bin"));
}

TEST(UploaderBody, EachAccessLevelSendsItsOwnFieldOrNone) {
    const struct {
        int access;
        const char* field; // nullptr: no access_type part at all
    } table[] = {{0, "private"}, {1, "public"}, {2, "friends"}, {3, nullptr}, {-1, nullptr}};
    for (const auto& row : table) {
        OVPiktoUploadOptions options = photoOptions();
        options.setAccess(row.access);
        OvPiktoExporterUploader uploader{ServiceUrls()};
        uploader.setUploadOptions(options);
        uploader.setCredentials(demoCredentials());
        const QByteArray head = uploader.createPostDataHeader();
        if (row.field)
            EXPECT_TRUE(head.contains(fieldPart("access_type", row.field))) << row.access;
        else
            EXPECT_FALSE(head.contains("access_type")) << row.access;
    }
}

TEST(UploaderBody, EachFlagAddsExactlyItsOwnField) {
    const struct {
        void (OVPiktoUploadOptions::*set)(bool);
        const char* field;
    } table[] = {{&OVPiktoUploadOptions::setIsCommentingDisabled, "disable_comments"},
                 {&OVPiktoUploadOptions::setIsAdultsOnly, "xxx"},
                 {&OVPiktoUploadOptions::setIsPublishingDisabled, "hide_orig"}};
    OvPiktoExporterUploader plain{ServiceUrls()};
    plain.setUploadOptions(photoOptions());
    plain.setCredentials(demoCredentials());
    const QByteArray plainHead = plain.createPostDataHeader();
    for (const auto& row : table) {
        OVPiktoUploadOptions options = photoOptions();
        (options.*row.set)(true);
        OvPiktoExporterUploader uploader{ServiceUrls()};
        uploader.setUploadOptions(options);
        uploader.setCredentials(demoCredentials());
        const QByteArray head = uploader.createPostDataHeader();
        const QByteArray part = fieldPart(row.field, "1");
        EXPECT_EQ(head.size(), plainHead.size() + part.size()) << row.field;
        EXPECT_EQ(QByteArray(head).replace(part, ""), plainHead) << row.field;
    }
}

TEST(UploaderBody, NamesAreWrittenAsUtf8WithoutEscaping) {
    OVPiktoUploadOptions options = photoOptions();
    options.setFileName(QStringLiteral("фото \"1\".jpg"));
    options.setAlbumID(QStringLiteral("a&b=c"));
    OvPiktoExporterUploader uploader{ServiceUrls()};
    uploader.setUploadOptions(options);
    uploader.setCredentials(demoCredentials());
    const QByteArray head = uploader.createPostDataHeader();
    EXPECT_TRUE(head.contains("filename=\"\xd1\x84\xd0\xbe\xd1\x82\xd0\xbe \"1\".jpg\""));
    EXPECT_TRUE(head.contains(fieldPart("album", "a&b=c")));
}

TEST(UploaderBody, PostDataSizeIsTheBodyLengthPlus103) {
    QTemporaryDir dir;
    const QString empty = dir.filePath(QStringLiteral("empty.jpg"));
    QFile(empty).open(QIODevice::WriteOnly);
    const QString link = dir.filePath(QStringLiteral("link.jpg"));
    ASSERT_TRUE(QFile::link(QStringLiteral(UPLOAD_GOLDEN_DIR "/photo.jpg"), link));

    for (const QString& path : {QStringLiteral(UPLOAD_GOLDEN_DIR "/photo.jpg"), empty, link}) {
        UploadRecorder recorder;
        OvPiktoExporterUploader uploader(ServiceUrls(), &recorder);
        uploader.setUploadOptions(photoOptions(path));
        uploader.setCredentials(demoCredentials());
        const std::optional<QByteArray> body = uploader.createPostData();
        ASSERT_TRUE(body) << path.toStdString();
        EXPECT_EQ(uploader.postDataSize(), body->size() + 103) << path.toStdString();
        EXPECT_TRUE(recorder.calls.isEmpty());
    }
    EXPECT_EQ(golden("default-body.bin").size() + 103, [] {
        OvPiktoExporterUploader uploader{ServiceUrls()};
        uploader.setUploadOptions(photoOptions());
        uploader.setCredentials(demoCredentials());
        return uploader.postDataSize();
    }());
}

TEST(UploaderBody, PostDataSizeWithoutAFileRaisesEventZero) {
    UploadRecorder recorder;
    OvPiktoExporterUploader uploader(ServiceUrls(), &recorder);
    EXPECT_EQ(uploader.postDataSize(), -1); // no options at all
    uploader.setUploadOptions(photoOptions(QStringLiteral("/nonexistent/photo.jpg")));
    uploader.setCredentials(demoCredentials());
    EXPECT_EQ(uploader.postDataSize(), -1);
    EXPECT_EQ(recorder.calls, QStringList({"0", "0"}));
    EXPECT_FALSE(uploader.createPostData());
}

TEST(UploaderBody, AFileNameWithALineBreakIsNotSent) {
    for (const QString& name : {QStringLiteral("a\r\nContent-Type: text/html.jpg"),
                                QStringLiteral("line\nbreak.jpg"), QStringLiteral("cr\r.jpg")}) {
        OVPiktoUploadOptions options = photoOptions();
        options.setFileName(name);
        OvPiktoExporterUploader uploader{ServiceUrls()};
        uploader.setUploadOptions(options);
        uploader.setCredentials(demoCredentials());
        EXPECT_FALSE(uploader.createPostData()) << name.toStdString();
    }
    EXPECT_TRUE(OvPiktoExporterUploader::isSendableFileName(QStringLiteral("Отпуск\t1.jpg")));
}
