#include "RequestRecorder.h"

#include <QJsonDocument>

bool RequestRecorder::open(const QString& path, QString& error)
{
    file_.setFileName(path);
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Append)) {
        error = QStringLiteral("cannot open record file %1: %2").arg(path, file_.errorString());
        return false;
    }
    return true;
}

void RequestRecorder::record(const QJsonObject& request)
{
    if (!file_.isOpen())
        return;
    const QByteArray line = QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n';
    std::lock_guard<std::mutex> lock(mutex_);
    file_.write(line);
    file_.flush();
}
