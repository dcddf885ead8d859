// The timers around sign-in, with the controller linked in directly so that its state and
// the process-wide values can be watched tick by tick.
#include "bundle.h"
#include "ovpiktoexporter.h"
#include "ovpiktoexporterglobals.h"
#include "qzlink.h"
#include "qzsecuretextfield.h"
#include "qztextfield.h"
#include "serviceprocess.h"
#include "serviceurls.h"
#include "tickwait.h"

#include <QDeadlineTimer>
#include <QDialog>
#include <QEventLoop>
#include <QLineEdit>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace {

class NoImages : public ExportImageProtocol {
public:
    unsigned imageCount() override { return 0; }
    QString imagePathAtIndex(unsigned) override { return {}; }
    void clickExport() override {}
};

bool waitFor(const std::function<bool()>& condition) {
    QDeadlineTimer deadline(3000);
    while (!condition() && !deadline.hasExpired()) {
        QEventLoop loop;
        QTimer::singleShot(2, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return condition();
}

TEST(SignInTimers, SignedInAtTheNextTickAndTheUpdateCheckOneIntervalLater) {
    QTemporaryDir home;
    ServiceProcess service({{QStringLiteral("demo:secret")}, {}, {}});
    ASSERT_TRUE(service.start()) << service.lastError().toStdString();
    const QByteArray savedHome = qgetenv("HOME");
    qputenv("HOME", home.path().toUtf8());
    Bundle::registerLoaded(QStringLiteral(OVPIKTO_PLUGIN_BUNDLE));
    TickWait::setHook([](unsigned) {});
    using namespace OvPiktoExporterGlobals;
    triedToUpdate = false;

    NoImages images;
    auto exporter = std::make_unique<OvPiktoExporter>(&images, ServiceUrls(service.origin()));
    exporter->loadNib();
    QDialog window;
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(exporter->settingsView());
    window.show();
    ASSERT_TRUE(waitFor([] { return triedToUpdate; })) << "the start-up check without an account";
    triedToUpdate = false;

    exporter->loginText->setText(QStringLiteral("demo"));
    exporter->passwordText->setText(QStringLiteral("secret"));
    exporter->rememberMe = false;
    exporter->signInAction(nullptr);
    // The signed-in page shows at once; the flag follows when the event loop turns.
    EXPECT_EQ(exporter->mainTabView->currentIndex(), 1);
    EXPECT_FALSE(exporter->isSignedIn);
    ASSERT_NE(exporter->signedInDelay, nullptr);
    // The login links to the user's blog page.
    EXPECT_EQ(exporter->loginLabelText->url().toString(),
              QStringLiteral("http://demo.localhost:%1/go.xml").arg(service.port()));

    ASSERT_TRUE(waitFor([&] { return exporter->isSignedIn; }));
    EXPECT_FALSE(triedToUpdate);
    ASSERT_TRUE(waitFor([] { return triedToUpdate; }));
    EXPECT_EQ(exporter->signedInDelay, nullptr);
    EXPECT_EQ(count, 0);

    exporter.reset();
    TickWait::setHook({});
    qputenv("HOME", savedHome);
}

} // namespace
