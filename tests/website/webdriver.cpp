#include "webdriver.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTcpServer>

#include <httplib.h>

namespace {

// The key under which WebDriver hands out an element's reference.
const char* const kElementKey = "element-6066-11e4-a52e-4f735466cecf";

int freePort() {
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

QString chromium() {
    for (const char* name : {"chromium", "chromium-browser"}) {
        const QString path = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (!path.isEmpty())
            return path;
    }
    return {};
}

} // namespace

WebDriver::WebDriver() = default;

WebDriver::~WebDriver() {
    if (!session_.empty())
        command("DELETE", "/session/" + session_);
    if (driver_.state() != QProcess::NotRunning) {
        driver_.terminate();
        if (!driver_.waitForFinished(5000)) {
            driver_.kill();
            driver_.waitForFinished(5000);
        }
    }
}

QString WebDriver::executable() {
    return QStandardPaths::findExecutable(QStringLiteral("chromedriver"));
}

bool WebDriver::start(int width, int height) {
    const int port = freePort();
    if (executable().isEmpty() || chromium().isEmpty() || port == 0) {
        lastError_ = QStringLiteral("ChromeDriver or Chromium is missing");
        return false;
    }
    driver_.setProgram(executable());
    driver_.setArguments({QStringLiteral("--port=%1").arg(port)});
    driver_.setProcessChannelMode(QProcess::MergedChannels);
    driver_.start();
    // ChromeDriver says when it listens.
    QByteArray said;
    while (!said.contains("started successfully") && driver_.waitForReadyRead(10000))
        said += driver_.readAll();
    if (!said.contains("started successfully")) {
        lastError_ = QStringLiteral("ChromeDriver did not start: ") + QString::fromUtf8(said);
        return false;
    }
    client_ = std::make_unique<httplib::Client>("127.0.0.1", port);
    client_->set_read_timeout(60, 0);

    const QJsonArray arguments{QStringLiteral("--headless=new"),
                               QStringLiteral("--no-sandbox"),
                               QStringLiteral("--disable-gpu"),
                               QStringLiteral("--disable-dev-shm-usage"),
                               QStringLiteral("--disable-background-networking"),
                               QStringLiteral("--disable-sync"),
                               QStringLiteral("--disable-component-update"),
                               QStringLiteral("--no-first-run"),
                               QStringLiteral("--hide-scrollbars"),
                               QStringLiteral("--lang=ru"),
                               QStringLiteral("--window-size=%1,%2").arg(width).arg(height)};
    // The site's own language first, as its visitors mostly have it.
    const QJsonObject preferences{{"intl.accept_languages", "ru-RU,ru"}};
    const QJsonObject options{{"binary", chromium()}, {"args", arguments}, {"prefs", preferences}};
    const QJsonObject capabilities{
        {"alwaysMatch", QJsonObject{{"browserName", "chrome"}, {"goog:chromeOptions", options}}}};
    const std::optional<QJsonValue> session =
        command("POST", "/session", QJsonObject{{"capabilities", capabilities}});
    if (!session)
        return false;
    session_ = session->toObject().value(QStringLiteral("sessionId")).toString().toStdString();
    if (session_.empty()) {
        lastError_ = QStringLiteral("no browser session");
        return false;
    }
    return true;
}

std::optional<QJsonValue> WebDriver::command(const std::string& method, const std::string& path,
                                             const QJsonValue& body) {
    if (!client_) {
        lastError_ = QStringLiteral("ChromeDriver is not running");
        return std::nullopt;
    }
    const std::string payload =
        body.isObject() ? QJsonDocument(body.toObject()).toJson().toStdString() : "{}";
    httplib::Result result = method == "GET" ? client_->Get(path)
                             : method == "DELETE"
                                 ? client_->Delete(path)
                                 : client_->Post(path, payload, "application/json");
    if (!result) {
        lastError_ =
            QStringLiteral("ChromeDriver did not answer %1").arg(QString::fromStdString(path));
        return std::nullopt;
    }
    const QJsonValue value = QJsonDocument::fromJson(QByteArray::fromStdString(result->body))
                                 .object()
                                 .value(QStringLiteral("value"));
    if (result->status != 200) {
        lastError_ = QStringLiteral("%1 %2: %3")
                         .arg(QString::fromStdString(path))
                         .arg(result->status)
                         .arg(value.toObject().value(QStringLiteral("message")).toString());
        return std::nullopt;
    }
    return value;
}

bool WebDriver::open(const std::string& url) {
    return command("POST", "/session/" + session_ + "/url",
                   QJsonObject{{"url", QString::fromStdString(url)}})
        .has_value();
}

std::string WebDriver::currentUrl() {
    const std::optional<QJsonValue> url = command("GET", "/session/" + session_ + "/url");
    return url ? url->toString().toStdString() : std::string();
}

bool WebDriver::waitUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer waited;
    waited.start();
    // Each look is a round trip to the browser, which paces the loop.
    while (!done()) {
        if (waited.elapsed() > timeoutMs)
            return false;
    }
    return true;
}

bool WebDriver::waitForUrl(const std::string& url, int timeoutMs) {
    return waitUntil(
        [&] {
            return currentUrl() == url &&
                   run("return document.readyState;").toString() == QStringLiteral("complete");
        },
        timeoutMs);
}

bool WebDriver::waitFor(const std::string& selector, int timeoutMs) {
    const QJsonArray arguments{QString::fromStdString(selector)};
    return waitUntil(
        [&] {
            return run("return document.readyState === 'complete' && "
                       "document.querySelector(arguments[0]) !== null;",
                       arguments)
                .toBool();
        },
        timeoutMs);
}

std::optional<std::string> WebDriver::element(const std::string& selector) {
    const std::optional<QJsonValue> found = command(
        "POST", "/session/" + session_ + "/element",
        QJsonObject{{"using", "css selector"}, {"value", QString::fromStdString(selector)}});
    if (!found)
        return std::nullopt;
    return found->toObject().value(QLatin1String(kElementKey)).toString().toStdString();
}

bool WebDriver::type(const std::string& selector, const std::string& text) {
    const std::optional<std::string> id = element(selector);
    return id && command("POST", "/session/" + session_ + "/element/" + *id + "/value",
                         QJsonObject{{"text", QString::fromStdString(text)}});
}

bool WebDriver::click(const std::string& selector) {
    const std::optional<std::string> id = element(selector);
    return id &&
           command("POST", "/session/" + session_ + "/element/" + *id + "/click", QJsonObject{});
}

QJsonValue WebDriver::run(const std::string& script, const QJsonArray& arguments) {
    return command("POST", "/session/" + session_ + "/execute/sync",
                   QJsonObject{{"script", QString::fromStdString(script)}, {"args", arguments}})
        .value_or(QJsonValue());
}

bool WebDriver::resize(int width, int height) {
    return command("POST", "/session/" + session_ + "/window/rect",
                   QJsonObject{{"width", width}, {"height", height}})
        .has_value();
}

bool WebDriver::screenshot(const QString& path) {
    const std::optional<QJsonValue> image = command("GET", "/session/" + session_ + "/screenshot");
    if (!image)
        return false;
    const QByteArray png = QByteArray::fromBase64(image->toString().toLatin1());
    QFile file(path);
    if (png.isEmpty() || !file.open(QIODevice::WriteOnly) || file.write(png) != png.size()) {
        lastError_ = QStringLiteral("cannot write ") + path;
        return false;
    }
    return true;
}
