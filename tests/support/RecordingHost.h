#pragma once

#include "link/EventWait.h"
#include "link/LinkHost.h"

#include <QStringList>

// A LinkHost for tests: remembers every status text, message and request.
class RecordingHost : public LinkHost {
public:
    void SetStatus(const QString& text) override {
        status = text;
        statusHistory << text;
    }
    QString statusText() const override { return status; }
    void EnableControls(bool flag) override { enabledHistory << flag; }
    void showMessage(const QString& text, bool error) override {
        messages << text;
        errorFlags << error;
    }
    void rearmCommitTimer() override { ++rearmCount; }
    void pause(int ms) override { EventWait::pause(ms); }
    void progress(int value, int max) override { progressHistory << qMakePair(value, max); }
    bool stopRequested() const override { return stop; }

    QString status;
    QStringList statusHistory;
    QList<bool> enabledHistory;
    QStringList messages;
    QList<bool> errorFlags;
    int rearmCount = 0;
    bool stop = false; // asks a running scan to end
    QList<QPair<int, int>> progressHistory;
};
