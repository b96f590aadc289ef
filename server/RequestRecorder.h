// Appends every decoded request to a file as one JSON line, so that a test
// can check exactly what a client asked for.
#ifndef SKYVANE_REQUESTRECORDER_H
#define SKYVANE_REQUESTRECORDER_H

#include <QFile>
#include <QJsonObject>
#include <QString>

#include <mutex>

class RequestRecorder {
public:
    bool open(const QString& path, QString& error);
    bool isOpen() const { return file_.isOpen(); }
    // Thread-safe; each line is flushed at once.
    void record(const QJsonObject& request);

private:
    QFile file_;
    std::mutex mutex_;
};

#endif
