// Every way an update can go wrong leaves the installed plug-in and updater exactly as
// they were and shows the failure page.
#include "controllerfixture.h"
#include "permissionsenforced.h"
#include "qstringprinter.h"
#include "qzutils.h"
#include "releasesignature.h"

#include <QCryptographicHash>
#include <QFile>

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

} // namespace
