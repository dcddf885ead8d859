#pragma once

#include <QJsonArray>
#include <QJsonValue>
#include <QProcess>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace httplib {
class Client;
} // namespace httplib

// A headless Chromium driven through ChromeDriver (the W3C WebDriver protocol), for tests
// that use the website as a person does: type into fields, press buttons, look at the page.
// One browser session per object, with a profile of its own; ended on destruction.
class WebDriver {
public:
    WebDriver();
    ~WebDriver();
    WebDriver(const WebDriver&) = delete;
    WebDriver& operator=(const WebDriver&) = delete;

    // ChromeDriver's path on PATH; empty when it is not installed.
    static QString executable();

    // Starts ChromeDriver and a headless browser whose window is `width` x `height`.
    // False with a reason in lastError() when either does not start.
    bool start(int width, int height);
    // Loads `url` and waits for it; false on failure.
    bool open(const std::string& url);
    // The address the browser shows.
    std::string currentUrl();
    // True once the browser shows `url` (a click's page may still be on its way when the
    // click returns); false after `timeoutMs`.
    bool waitForUrl(const std::string& url, int timeoutMs = 10000);
    // True once the page shows an element matching the CSS `selector` (a form's answer may
    // still be on its way when the click that sent it returns); false after `timeoutMs`.
    bool waitFor(const std::string& selector, int timeoutMs = 10000);
    // Types `text` into the first element matching the CSS `selector`; false when none.
    bool type(const std::string& selector, const std::string& text);
    // Clicks the first element matching `selector` and waits for any page it loads.
    bool click(const std::string& selector);
    // Runs `script` (a function body, `arguments` as its arguments[]) in the page and returns
    // its result.
    QJsonValue run(const std::string& script, const QJsonArray& arguments = {});
    // Resizes the window; false on failure.
    bool resize(int width, int height);
    // Saves what the window shows as a PNG; false on failure.
    bool screenshot(const QString& path);

    QString lastError() const { return lastError_; }

private:
    // True once `done` holds; false after `timeoutMs`.
    bool waitUntil(const std::function<bool()>& done, int timeoutMs);
    // Sends one command; its "value", or empty with lastError() set on any failure.
    std::optional<QJsonValue> command(const std::string& method, const std::string& path,
                                      const QJsonValue& body = {});
    std::optional<std::string> element(const std::string& selector);

    QProcess driver_;
    std::unique_ptr<httplib::Client> client_;
    std::string session_;
    QString lastError_;
};
