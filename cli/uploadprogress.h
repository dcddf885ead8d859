#pragma once

#include <QString>

#include <cstdio>

// Shows how a run of uploads advances. On a terminal one line is redrawn in place: the
// photo number, a bar and the amount done of the total; elsewhere (a pipe, a file) a
// plain line is written as each photo starts and ends. Sizes are KiB, shown as
// "N KiB" below 1 MiB and "N.NN MiB" from there on.
class UploadProgress {
public:
    UploadProgress(int photoCount, double totalKiB, bool terminal, std::FILE* out = stdout);

    // Photo `index` (from 0) starts; `doneKiB` is what the photos before it sent.
    void beginPhoto(int index, const QString& name, double doneKiB);
    // Redraws the bar when what it shows has changed; nothing in plain mode.
    void update(double doneKiB);
    // The photo is on the service.
    void endPhoto(double doneKiB);
    // Ends the bar's line (before any other message is printed).
    void finish();

    // "512 KiB", "1.00 MiB", "3.25 MiB".
    static QString formatSize(double kib);

private:
    QString line(double doneKiB) const;
    void write(const QString& text);

    int m_photoCount = 0;
    double m_totalKiB = 0;
    bool m_terminal = false;
    std::FILE* m_out = stdout;
    int m_index = 0;
    QString m_name;
    QString m_shown; // the last line drawn; empty when no bar is on screen
};
