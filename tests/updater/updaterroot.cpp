#include "updaterroot.h"

#include "propertylist.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>

namespace {

const char* const environmentNames[] = {
    "OVPIKTO_ROOT", "HOME", "TMPDIR", "OVPIKTO_MAIN_BUNDLE", "OVPIKTO_LANG", "OVPIKTO_SERVICE_URL"};

bool writeFile(const QString& path, const QByteArray& bytes) {
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

bool copyFile(const QString& from, const QString& to) {
    QFile source(from);
    return source.open(QIODevice::ReadOnly) && writeFile(to, source.readAll());
}

} // namespace

UpdaterRoot::UpdaterRoot(const QString& hostVersion) {
    for (const char* name : environmentNames) {
        m_savedEnvironment.insert(name, qEnvironmentVariableIsSet(name)
                                            ? std::optional<QByteArray>(qgetenv(name))
                                            : std::nullopt);
    }
    if (!m_dir.isValid())
        return;
    m_root = m_dir.filePath(QStringLiteral("root"));
    m_home = m_dir.filePath(QStringLiteral("home"));
    m_tmp = m_dir.filePath(QStringLiteral("tmp"));
    m_releases = m_dir.filePath(QStringLiteral("releases"));
    for (const QString& folder : {m_root, m_home, m_tmp, m_releases}) {
        if (!QDir().mkpath(folder))
            return;
    }
    qputenv("OVPIKTO_ROOT", m_root.toUtf8());
    qputenv("HOME", m_home.toUtf8());
    qputenv("TMPDIR", m_tmp.toUtf8());
    qputenv("OVPIKTO_LANG", "ru");
    qputenv("OVPIKTO_MAIN_BUNDLE", updaterApp().toUtf8());
    // Nothing listens here: a test that forgets its service fails fast instead of
    // reaching the default address.
    qputenv("OVPIKTO_SERVICE_URL", "http://127.0.0.1:1");

    // The installed updater: its property list and texts, and a stand-in executable.
    const QString built = QStringLiteral(OVPIKTO_UPDATER_APP);
    for (const QString& file : {QStringLiteral("/Contents/Info.plist"),
                                QStringLiteral("/Contents/Resources/ru.lproj/InfoPlist.strings"),
                                QStringLiteral("/Contents/Resources/en.lproj/InfoPlist.strings")}) {
        if (!copyFile(built + file, updaterApp() + file))
            return;
    }
    if (!writeFile(updaterApp() + QStringLiteral("/Contents/MacOS/OvPiktoUpdater"),
                   "installed updater 1.2.0"))
        return;
    if (!setHostVersion(hostVersion) || !installPlugin("1.2\n", "0\n"))
        return;
    m_valid = true;
}

UpdaterRoot::~UpdaterRoot() {
    m_service.reset();
    for (auto it = m_savedEnvironment.cbegin(); it != m_savedEnvironment.cend(); ++it) {
        if (it.value())
            qputenv(it.key().constData(), *it.value());
        else
            qunsetenv(it.key().constData());
    }
    // Tests may leave folders read-only; the temporary folder must still go.
    QDirIterator it(m_dir.path(), QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        QFile::setPermissions(it.next(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                             QFileDevice::ExeOwner);
}

QString UpdaterRoot::pluginFolder() const {
    if (m_hostVersion.section('.', 0, 0).toInt() > 6)
        return m_root + QStringLiteral("/Library/Application Support/iPhoto/Plugins");
    return m_root + QStringLiteral("/Applications/iPhoto.app/Contents/PlugIns");
}

QString UpdaterRoot::pluginBundle() const {
    return pluginFolder() + QStringLiteral("/Ov.Pikto.Export.iPhotoExporter");
}

QString UpdaterRoot::applicationFolder() const {
    return m_root + QStringLiteral("/Applications/Оврана.Пикто");
}

QString UpdaterRoot::updaterApp() const {
    return applicationFolder() + QStringLiteral("/Обновить Оврана.Пикто для iPhoto.app");
}

QString UpdaterRoot::preferencesPath() const {
    return m_home + QStringLiteral("/Library/Preferences/com.ovrana.ru.iphotoexporter.plist");
}

bool UpdaterRoot::setHostVersion(const QString& version) {
    m_hostVersion = version;
    QVariantMap info{{QStringLiteral("CFBundleIdentifier"), QStringLiteral("com.apple.iPhoto")},
                     {QStringLiteral("CFBundleExecutable"), QStringLiteral("iPhoto")}};
    if (!version.isEmpty())
        info.insert(QStringLiteral("CFBundleVersion"), version);
    return PropertyList::writeDictionary(
        m_root + QStringLiteral("/Applications/iPhoto.app/Contents/Info.plist"), info);
}

bool UpdaterRoot::installPlugin(const QByteArray& version, const QByteArray& build) {
    const QString contents = pluginBundle() + QStringLiteral("/Contents");
    QFile::remove(contents + QStringLiteral("/Resources/build.txt"));
    return PropertyList::writeDictionary(
               contents + QStringLiteral("/Info.plist"),
               {{QStringLiteral("CFBundleIdentifier"),
                 QStringLiteral("com.ovrana.iphoto.exporter")},
                {QStringLiteral("CFBundleVersion"), QStringLiteral("1.2.0")}}) &&
           writeFile(contents + QStringLiteral("/MacOS/OvPiktoExporter"),
                     "installed plug-in 1.2.0") &&
           writeFile(contents + QStringLiteral("/Resources/version.txt"), version) &&
           (build.isNull() || writeFile(contents + QStringLiteral("/Resources/build.txt"), build));
}

bool UpdaterRoot::setPublicKey(const QString& base64) {
    const QString path = updaterApp() + QStringLiteral("/Contents/Info.plist");
    QVariantMap info = PropertyList::readDictionary(path).value_or(QVariantMap());
    info.insert(QStringLiteral("OPUpdatePublicKey"), base64);
    return PropertyList::writeDictionary(path, info);
}

bool UpdaterRoot::startService() {
    if (!m_service)
        m_service = std::make_unique<ServiceProcess>(ServiceProcess::Options{{}, {}, m_releases});
    if (!m_service->start())
        return false;
    // For the updater program the tests start: it reads its address from here.
    qputenv("OVPIKTO_SERVICE_URL", m_service->origin().toUtf8());
    return true;
}

ServiceUrls UpdaterRoot::urls() const {
    return ServiceUrls(m_service ? m_service->origin() : QStringLiteral("http://127.0.0.1:1"));
}

QString UpdaterRoot::archiveUrl(const QString& name) const {
    return (m_service ? m_service->origin() : QStringLiteral("http://127.0.0.1:1")) +
           QStringLiteral("/photo/mac/iphoto-plugin/") + name;
}

ZipWriter UpdaterRoot::releaseArchive(const QString& version, bool withUpdater) {
    ZipWriter zip;
    const QByteArray plugin = "Ov.Pikto.Export.iPhotoExporter/Contents/";
    const QByteArray v = version.toUtf8();
    zip.addFile(plugin + "Info.plist",
                "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                "<key>CFBundleIdentifier</key><string>com.ovrana.iphoto.exporter</string>"
                "<key>CFBundleVersion</key><string>" +
                    v + "</string></dict></plist>\n");
    zip.addFile(plugin + "MacOS/OvPiktoExporter", "new plug-in " + v, true);
    zip.addFile(plugin + "Resources/version.txt", v.left(v.lastIndexOf('.')) + "\n");
    zip.addFile(plugin + "Resources/build.txt", v.mid(v.lastIndexOf('.') + 1) + "\n");
    if (withUpdater) {
        const QByteArray app =
            QStringLiteral("Оврана.Пикто/Обновить Оврана.Пикто для iPhoto.app/Contents/").toUtf8();
        zip.addFile(app + "Info.plist",
                    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                    "<key>CFBundleExecutable</key><string>OvPiktoUpdater</string>"
                    "<key>CFBundleVersion</key><string>" +
                        v + "</string></dict></plist>\n");
        zip.addFile(app + "MacOS/OvPiktoUpdater", "new updater " + v, true);
    }
    return zip;
}

bool UpdaterRoot::publish(const QString& name, const QByteArray& archive, const QString& attributes,
                          const QString& url) {
    const QString address = url.isEmpty() ? archiveUrl(name) : url;
    const QByteArray feed =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss version=\"2.0\"><channel>"
        "<item><title>Оврана.Пикто</title><description>Новая версия</description>"
        "<enclosure url=\"" +
        address.toUtf8() + "\"" + attributes.toUtf8() + "/></item></channel></rss>\n";
    return writeFile(m_releases + '/' + name, archive) &&
           writeFile(m_releases + QStringLiteral("/versions.xml"), feed);
}

QMap<QString, QByteArray> UpdaterRoot::snapshot() const {
    QMap<QString, QByteArray> files;
    QDirIterator it(m_root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    const QDir base(m_root);
    while (it.hasNext()) {
        const QFileInfo info = it.nextFileInfo();
        const QString relative = base.relativeFilePath(info.filePath());
        if (info.isDir()) {
            files.insert(relative, "<dir>");
        } else {
            QFile file(info.filePath());
            files.insert(relative,
                         file.open(QIODevice::ReadOnly) ? file.readAll() : "<unreadable>");
        }
    }
    return files;
}
