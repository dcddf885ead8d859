#include "htmlcheck.h"

#include <QProcess>

namespace {

struct TidyRun {
    int exitCode = -1;
    std::string report;
};

TidyRun runTidy(const std::string& html, bool warnings) {
    QProcess tidy;
    QStringList arguments{QStringLiteral("-q"), QStringLiteral("-e"), QStringLiteral("-utf8"),
                          QStringLiteral("--gnu-emacs"), QStringLiteral("yes")};
    if (!warnings)
        arguments << QStringLiteral("--show-warnings") << QStringLiteral("no");
    tidy.start(QStringLiteral("tidy"), arguments);
    if (!tidy.waitForStarted(5000))
        return {-1, "tidy could not be started"};
    tidy.write(html.data(), static_cast<qint64>(html.size()));
    tidy.closeWriteChannel();
    if (!tidy.waitForFinished(10000))
        return {-1, "tidy did not finish"};
    return {tidy.exitCode(), tidy.readAllStandardError().toStdString()};
}

} // namespace

std::string HtmlCheck::errors(const std::string& html) {
    const TidyRun run = runTidy(html, false);
    // Tidy exits 2 for errors, 1 for warnings only, 0 for a clean page.
    if (run.exitCode < 0 || run.exitCode >= 2)
        return run.report.empty() ? "tidy failed" : run.report;
    return {};
}

std::string HtmlCheck::problems(const std::string& html) {
    const TidyRun run = runTidy(html, true);
    if (run.exitCode != 0)
        return run.report.empty() ? "tidy failed" : run.report;
    return {};
}
