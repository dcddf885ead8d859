// Every way an update can go wrong leaves the installed plug-in and updater exactly as
// they were and shows the failure page.
#include "controllerfixture.h"
#include "permissionsenforced.h"
#include "qstringprinter.h"
#include "qzutils.h"
#include "releasesignature.h"
#include "streamingresponder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

const QString archiveName = QStringLiteral("OvPikto_1.3.0.zip");

class UpdaterFailureTest : public ControllerFixture {
protected:
    void SetUp() override {
        ASSERT_TRUE(root.isValid());
        ASSERT_TRUE(root.startService()) << root.service().lastError().toStdString();
        before = root.snapshot();
    }

    // Runs the whole update of what the feed offers and expects the failure page.
    void expectFailedInstallation() {
        driver().controller.awakeFromNib();
        ASSERT_EQ(driver().controller.outcome(), MainController::Outcome::Proposed);
        driver().controller.installUpdate();
        ASSERT_TRUE(driver().waitForEnd());
        EXPECT_TRUE(driver().failureAlerts.isEmpty())
            << driver().failureAlerts.join(' ').toStdString();
        EXPECT_EQ(driver().controller.outcome(), MainController::Outcome::InstallFailed);
        EXPECT_FALSE(driver().controller.failureReason().isEmpty());
        const UpdaterPageState& state = driver().controller.state();
        EXPECT_EQ(state.page, MainController::pageThank);
        EXPECT_EQ(state.finishTitle,
                  QZUtils::infoValueForKeyInMainBundle(QStringLiteral("OPUUpdateFailedTitle")));
        EXPECT_EQ(state.finishText,
                  QZUtils::infoValueForKeyInMainBundle(QStringLiteral("OPUUpdateFailed")));
        EXPECT_TRUE(root.snapshot() == before) << "the installation changed";
        expectNoLeftovers();
    }

    // The work folder, archive and unpacked files alike, is gone (the service's data
    // folder is the only other entry of the temporary folder).
    void expectNoLeftovers() {
        EXPECT_TRUE(driver().controller.workFolder().isEmpty());
        const QStringList left =
            QDir(root.tmp())
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
                .filter(QRegularExpression(QStringLiteral("^(?!pikto-service-)")));
        EXPECT_EQ(left, QStringList());
    }

    // Publishes `archive` as `version` signed with a fresh key the installed updater trusts.
    void publishSigned(const QString& version, const QByteArray& archive) {
        const auto trusted = ReleaseSignature::generate();
        ASSERT_TRUE(root.setPublicKey(QString::fromLatin1(trusted.publicKey.toBase64())));
        before = root.snapshot();
        ASSERT_TRUE(root.publish(QStringLiteral("OvPikto_%1.zip").arg(version), archive,
                                 attribute("signature", signature(trusted.secretKey, archive))));
    }

    static QString attribute(const char* name, const QString& value) {
        return QStringLiteral(" %1=\"%2\"").arg(QString::fromLatin1(name), value);
    }

    static QString sha256(const QByteArray& bytes) {
        return QString::fromLatin1(
            QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
    }

    static QString signature(const QByteArray& secretKey, const QByteArray& bytes) {
        return QString::fromLatin1(
            ReleaseSignature::sign(secretKey, reinterpret_cast<const uchar*>(bytes.constData()),
                                   bytes.size())
                .toBase64());
    }

    QMap<QString, QByteArray> before;
};

TEST_F(UpdaterFailureTest, CorruptArchive) {
    QByteArray archive = UpdaterRoot::releaseArchive(QStringLiteral("1.3.0")).bytes();
    const qsizetype data = archive.indexOf("new plug-in");
    ASSERT_GT(data, 0);
    archive[data] = 'N'; // the stored data no longer matches its checksum
    ASSERT_TRUE(root.publish(archiveName, archive));
    expectFailedInstallation();
    EXPECT_TRUE(driver().controller.failureReason().contains(QStringLiteral("unzip")))
        << driver().controller.failureReason().toStdString();
}

TEST_F(UpdaterFailureTest, TruncatedArchive) {
    const QByteArray archive = UpdaterRoot::releaseArchive(QStringLiteral("1.3.0")).bytes();
    ASSERT_TRUE(root.publish(archiveName, archive.left(archive.size() / 2)));
    expectFailedInstallation();
}

TEST_F(UpdaterFailureTest, ArchiveWithoutTheUpdaterFolder) {
    ASSERT_TRUE(root.publish(archiveName,
                             UpdaterRoot::releaseArchive(QStringLiteral("1.3.0"), false).bytes()));
    expectFailedInstallation();
}

TEST_F(UpdaterFailureTest, ChecksumMismatch) {
    const QByteArray archive = UpdaterRoot::releaseArchive(QStringLiteral("1.3.0")).bytes();
    ASSERT_TRUE(root.publish(archiveName, archive, attribute("sha256", sha256(archive + "x"))));
    expectFailedInstallation();
}

TEST_F(UpdaterFailureTest, LengthMismatch) {
    const QByteArray archive = UpdaterRoot::releaseArchive(QStringLiteral("1.3.0")).bytes();
    ASSERT_TRUE(root.publish(archiveName, archive,
                             attribute("length", QString::number(archive.size() + 1))));
    expectFailedInstallation();
}

TEST_F(UpdaterFailureTest, BadSignature) {
    const auto trusted = ReleaseSignature::generate();
    const auto other = ReleaseSignature::generate();
    ASSERT_TRUE(root.setPublicKey(QString::fromLatin1(trusted.publicKey.toBase64())));
    before = root.snapshot();
    const QByteArray archive = UpdaterRoot::releaseArchive(QStringLiteral("1.3.0")).bytes();
    ASSERT_TRUE(root.publish(archiveName, archive,
                             attribute("signature", signature(other.secretKey, archive))));
    expectFailedInstallation();
}

TEST_F(UpdaterFailureTest, UnsignedArchiveWhileAKeyIsSet) {
    const auto trusted = ReleaseSignature::generate();
    ASSERT_TRUE(root.setPublicKey(QString::fromLatin1(trusted.publicKey.toBase64())));
    before = root.snapshot();
    const QByteArray archive = UpdaterRoot::releaseArchive(QStringLiteral("1.3.0")).bytes();
    ASSERT_TRUE(root.publish(archiveName, archive, attribute("sha256", sha256(archive))));
    expectFailedInstallation();
}

TEST_F(UpdaterFailureTest, EntryEscapingTheWorkFolder) {
    ZipWriter zip = UpdaterRoot::releaseArchive(QStringLiteral("1.3.0"));
    zip.addFile("Ov.Pikto.Export.iPhotoExporter/../../escaped.txt", "outside");
    ASSERT_TRUE(root.publish(archiveName, zip.bytes()));
    expectFailedInstallation();
    EXPECT_FALSE(QFile::exists(root.tmp() + QStringLiteral("/escaped.txt")));
    EXPECT_FALSE(QFile::exists(root.tmp() + QStringLiteral("/../escaped.txt")));
}

TEST_F(UpdaterFailureTest, LinkEntryPointingOutside) {
    ZipWriter zip = UpdaterRoot::releaseArchive(QStringLiteral("1.3.0"));
    zip.addLink("Ov.Pikto.Export.iPhotoExporter/Contents/Resources/home", root.home().toUtf8());
    ASSERT_TRUE(root.publish(archiveName, zip.bytes()));
    expectFailedInstallation();
}

TEST_F(UpdaterFailureTest, PluginFolderNotWritable) {
    ASSERT_TRUE(
        root.publish(archiveName, UpdaterRoot::releaseArchive(QStringLiteral("1.3.0")).bytes()));
    ASSERT_TRUE(
        QFile::setPermissions(root.pluginFolder(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    PermissionsEnforced enforced;
    ASSERT_TRUE(enforced.active());
    expectFailedInstallation();
}

TEST_F(UpdaterFailureTest, ApplicationsFolderNotWritable) {
    ASSERT_TRUE(
        root.publish(archiveName, UpdaterRoot::releaseArchive(QStringLiteral("1.3.0")).bytes()));
    ASSERT_TRUE(QFile::setPermissions(root.root() + QStringLiteral("/Applications"),
                                      QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    PermissionsEnforced enforced;
    ASSERT_TRUE(enforced.active());
    expectFailedInstallation();
}

TEST_F(UpdaterFailureTest, AnAddressTheFeedDoesNotNameIsNotTrustedWithItsSignature) {
    const auto trusted = ReleaseSignature::generate();
    ASSERT_TRUE(root.setPublicKey(QString::fromLatin1(trusted.publicKey.toBase64())));
    const QByteArray archive = UpdaterRoot::releaseArchive(QStringLiteral("1.3.0")).bytes();
    ASSERT_TRUE(root.publish(archiveName, archive,
                             attribute("signature", signature(trusted.secretKey, archive))));
    // The same bytes under a second name: the feed's signature is for the first only.
    QFile copy(root.releases() + QStringLiteral("/copy_1.3.0.zip"));
    ASSERT_TRUE(copy.open(QIODevice::WriteOnly) && copy.write(archive) == archive.size());
    copy.close();
    before = root.snapshot();
    driver().controller.awakeFromNib();
    driver().controller.downloadFile(root.archiveUrl(QStringLiteral("copy_1.3.0.zip")));
    ASSERT_TRUE(driver().waitForEnd());
    EXPECT_EQ(driver().controller.outcome(), MainController::Outcome::InstallFailed);
    EXPECT_EQ(driver().controller.failureReason(), QStringLiteral("the release is not signed"));
    EXPECT_TRUE(root.snapshot() == before);
}

TEST_F(UpdaterFailureTest, ValidSignatureInstalls) {
    const auto trusted = ReleaseSignature::generate();
    ASSERT_TRUE(root.setPublicKey(QString::fromLatin1(trusted.publicKey.toBase64())));
    const QByteArray archive = UpdaterRoot::releaseArchive(QStringLiteral("1.3.0")).bytes();
    ASSERT_TRUE(root.publish(archiveName, archive,
                             attribute("length", QString::number(archive.size())) +
                                 attribute("sha256", sha256(archive)) +
                                 attribute("signature", signature(trusted.secretKey, archive))));
    driver().controller.awakeFromNib();
    driver().controller.installUpdate();
    ASSERT_TRUE(driver().waitForEnd());
    EXPECT_EQ(driver().controller.outcome(), MainController::Outcome::Installed)
        << driver().controller.failureReason().toStdString();
    EXPECT_EQ(MainController::loadPluginVersionInfo(root.pluginFolder()), QStringLiteral("1.3.0"));
}

// Another user made the old shared work folder first (0777, an archive of theirs in it): the
// updater works in a private folder of its own and installs what it verified.
TEST_F(UpdaterFailureTest, AWorkFolderMadeFirstByAnotherUserIsNeverUsed) {
    const QString shared = root.tmp() + QStringLiteral("/Ovrana.Pikto.Update");
    ZipWriter planted = UpdaterRoot::releaseArchive(QStringLiteral("1.3.0"));
    planted.addFile("Ov.Pikto.Export.iPhotoExporter/Contents/Resources/planted.txt", "unsigned");
    QFile plantedFile(shared + QLatin1Char('/') + archiveName);
    ASSERT_TRUE(QDir().mkpath(shared) &&
                QFile::setPermissions(shared, QFileDevice::Permissions(0x7777)) &&
                plantedFile.open(QIODevice::WriteOnly));
    plantedFile.write(planted.bytes());
    publishSigned(QStringLiteral("1.3.0"),
                  UpdaterRoot::releaseArchive(QStringLiteral("1.3.0")).bytes());
    QMap<QString, QFileDevice::Permissions> folders;
    QObject::connect(&driver().controller, &MainController::stateChanged, [&] {
        if (const QString folder = driver().controller.workFolder(); !folder.isEmpty())
            folders.insert(folder, QFileInfo(folder).permissions());
    });
    driver().controller.awakeFromNib();
    driver().controller.installUpdate();
    ASSERT_TRUE(driver().waitForEnd());
    ASSERT_EQ(driver().controller.outcome(), MainController::Outcome::Installed);
    EXPECT_FALSE(QFile::exists(root.pluginBundle() + "/Contents/Resources/planted.txt"));
    ASSERT_EQ(folders.size(), 1);
    EXPECT_FALSE(folders.firstKey().startsWith(shared + QLatin1Char('/')) ||
                 folders.firstKey() == shared);
    EXPECT_EQ(int(folders.first()), 0x7700); // owner and user bits only
    EXPECT_FALSE(QFileInfo::exists(folders.firstKey()));
}

// The signature covers the archive, not the feed's number: an archive of another version
// offered as this one is refused whatever it is signed with.
TEST_F(UpdaterFailureTest, ASignedArchiveOfferedUnderAnotherVersionIsRefused) {
    for (const auto& [offered, packed] :
         {std::pair{"9.9.9", "1.3.0"}, {"1.3.0", "1.3.1"}, {"1.3.0", "1.2.0"}}) {
        SCOPED_TRACE(std::string(offered) + " carrying " + packed);
        m_driver.reset();
        publishSigned(QString::fromLatin1(offered),
                      UpdaterRoot::releaseArchive(QString::fromLatin1(packed)).bytes());
        expectFailedInstallation();
        EXPECT_TRUE(driver().controller.failureReason().contains(QString::fromLatin1(packed)));
    }
}

// unzip -a rewrote CRLF in entries marked as text: the installed bytes are the signed ones.
TEST_F(UpdaterFailureTest, ATextFileMarkedForConversionIsInstalledByteForByte) {
    ZipWriter zip = UpdaterRoot::releaseArchive(QStringLiteral("1.3.0"));
    zip.addTextFile("Ov.Pikto.Export.iPhotoExporter/Contents/Resources/notes.txt", "a\r\nb\r\n");
    publishSigned(QStringLiteral("1.3.0"), zip.bytes());
    driver().controller.awakeFromNib();
    driver().controller.installUpdate();
    ASSERT_TRUE(driver().waitForEnd());
    QFile notes(root.pluginBundle() + QStringLiteral("/Contents/Resources/notes.txt"));
    ASSERT_TRUE(notes.open(QIODevice::ReadOnly));
    EXPECT_EQ(notes.readAll(), "a\r\nb\r\n");
    expectNoLeftovers();
}

// More than the feed's length (or, without one, than the ceiling, here 1 MiB), or a reply
// announcing more, is cut off as soon as it shows, not after the offered gigabyte.
TEST_F(UpdaterFailureTest, AnOverlongDownloadStopsAtItsLimit) {
    const QByteArray archive = UpdaterRoot::releaseArchive(QStringLiteral("1.3.0")).bytes();
    const QByteArray open = "HTTP/1.1 200 OK\r\nConnection: close\r\n";
    for (const auto& [feedLength, head] : {std::pair{true, open + "\r\n" + archive},
                                           {false, open + "\r\n" + archive},
                                           {false, open + "Content-Length: 1073741824\r\n\r\n"}}) {
        SCOPED_TRACE(head.left(60).toStdString());
        m_driver.reset();
        StreamingResponder responder(head, QByteArray(64 * 1024, 'x'), 16 * 1024);
        ASSERT_TRUE(root.publish(archiveName, archive,
                                 feedLength ? attribute("length", QString::number(archive.size()))
                                            : QString(),
                                 QString::fromLatin1(responder.origin() + "/OvPikto_1.3.0.zip")));
        driver().controller.setDownloadCeiling(1024 * 1024);
        driver().controller.awakeFromNib();
        driver().controller.installUpdate();
        ASSERT_TRUE(driver().waitForEnd());
        EXPECT_EQ(driver().failureAlerts.value(0).contains(QStringLiteral("more than")), true);
        EXPECT_LT(responder.bytesWritten(), 32 * 1024 * 1024);
        EXPECT_TRUE(root.snapshot() == before);
        expectNoLeftovers();
    }
}

} // namespace
