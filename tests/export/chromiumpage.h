#pragma once

#include <QByteArray>
#include <QString>

// Loads a page in headless Chromium: a fresh profile per call, no GPU, no sandbox (tests
// run as root in containers), and every background service that could reach another
// address switched off.
class ChromiumPage {
public:
    // The Chromium executable on PATH ("chromium", then "chromium-browser"); empty when
    // none is installed.
    static QString executable();

    // The page's DOM after it loaded; empty when Chromium failed or took over 60 s.
    static QByteArray dumpDom(const QString& url);
    // Saves what the page shows (window `width` x `height`) as a PNG at `pngPath`.
    // Returns false when Chromium failed or wrote no image.
    static bool screenshot(const QString& url, const QString& pngPath, int width = 1000,
                           int height = 800);

private:
    // Runs Chromium with the common flags plus `args`; its standard output, or nothing
    // when it did not exit normally.
    static bool run(const QStringList& args, QByteArray* output);
};
