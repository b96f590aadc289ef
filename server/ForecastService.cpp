#include "ForecastService.h"

#include <QDateTime>
#include <QJsonObject>
#include <QJsonValue>

#include <cstdio>

#include "AccountStore.h"
#include "BuoyDocument.h"
#include "ForecastBuilder.h"
#include "ForecastRequest.h"
#include "RequestRecorder.h"
#include "UserOptions.h"
#include "soapH.h"

namespace {

const char kForecastMediaType[] = "application/zlib";

QJsonValue jsonString(const char* text)
{
    return text ? QJsonValue(QString::fromUtf8(text)) : QJsonValue(QJsonValue::Null);
}

QJsonValue jsonCredentials(const toviSoap__Credentials2* credentials)
{
    if (!credentials)
        return QJsonValue(QJsonValue::Null);
    return QJsonObject{{QStringLiteral("key"), jsonString(credentials->key)},
                       {QStringLiteral("login"), jsonString(credentials->login)},
                       {QStringLiteral("password"), jsonString(credentials->password)},
                       {QStringLiteral("userAgent"), jsonString(credentials->userAgent)}};
}

QJsonValue jsonParameters(const toviSoap__ForecastParameters* p)
{
    if (!p)
        return QJsonValue(QJsonValue::Null);
    return QJsonObject{{QStringLiteral("meteoType"), qint64(p->meteoType)},
                       {QStringLiteral("resolution"), int(p->resolution)},
                       {QStringLiteral("forecastDay"), int(p->forecastDay)},
                       {QStringLiteral("forecastTime"), int(p->forecastTime)},
                       {QStringLiteral("timeStep"), int(p->timeStep)},
                       {QStringLiteral("stepsNumber"), qint64(p->stepsNumber)},
                       {QStringLiteral("top"), p->top},
                       {QStringLiteral("left"), p->left},
                       {QStringLiteral("right"), p->right},
                       {QStringLiteral("bottom"), p->bottom}};
}

QJsonValue jsonDataRequest(const toviSoap__t3DataRequest* request)
{
    if (!request)
        return QJsonValue(QJsonValue::Null);
    QJsonObject object{{QStringLiteral("requestOptions"), qint64(request->requestOptions)}};
    if (const toviSoap__t3Credentials* c = request->credentials)
        object.insert(QStringLiteral("credentials"),
                      QJsonObject{{QStringLiteral("key"), jsonString(c->key)},
                                  {QStringLiteral("language"), jsonString(c->language)},
                                  {QStringLiteral("userAgent"), jsonString(c->userAgent)},
                                  {QStringLiteral("reserved"), jsonString(c->reserved)}});
    else
        object.insert(QStringLiteral("credentials"), QJsonValue(QJsonValue::Null));
    object.insert(QStringLiteral("filter"),
                  request->filter ? QJsonValue(QJsonObject{{QStringLiteral("resourceID"),
                                                            qint64(request->filter->resourceID)}})
                                  : QJsonValue(QJsonValue::Null));
    return object;
}

ForecastRequest toRequest(const toviSoap__ForecastParameters& p)
{
    ForecastRequest request;
    request.meteoType = p.meteoType;
    request.resolution = int(p.resolution);
    request.forecastDay = int(p.forecastDay);
    request.forecastTime = int(p.forecastTime);
    request.timeStep = int(p.timeStep);
    request.stepsNumber = p.stepsNumber;
    request.topMilli = p.top;
    request.leftMilli = p.left;
    request.rightMilli = p.right;
    request.bottomMilli = p.bottom;
    return request;
}

QString loginOf(const toviSoap__Credentials2* credentials)
{
    return credentials && credentials->login ? QString::fromUtf8(credentials->login) : QString();
}

}  // namespace

ForecastService::ForecastService(AccountStore& accounts, RequestRecorder& recorder, AttachmentOptions attachment)
    : accounts_(accounts),
      recorder_(recorder),
      attachment_(attachment),
      configured_(std::make_unique<ForecastBuilder>(QDateTime::currentDateTimeUtc().date()))
{
}

ForecastService::~ForecastService() = default;

bool ForecastService::setLandMaskDirectory(const QString& directory, QString* error)
{
    return configured_->setLandMaskDirectory(directory, error);
}

int ForecastService::setRealDataDirectory(const QString& directory)
{
    return configured_->setRealDataDirectory(directory);
}

std::shared_ptr<const ForecastBuilder> ForecastService::builderFor(const QDate& todayUtc)
{
    std::lock_guard<std::mutex> lock(builderMutex_);
    if (!builder_ || builder_->referenceDate() != todayUtc)
        builder_ = std::make_shared<const ForecastBuilder>(configured_->withReferenceDate(todayUtc));
    return builder_;
}

void ForecastService::logCall(struct soap* soap, const char* operation, const QString& outcome) const
{
    const QByteArray line = QStringLiteral("%1 %2 %3 %4\n")
                                .arg(QDateTime::currentDateTimeUtc().toString(Qt::ISODate),
                                     QString::fromLatin1(soap->host[0] ? soap->host : "-"),
                                     QString::fromLatin1(operation), outcome)
                                .toUtf8();
    std::fputs(line.constData(), stderr);
}

int ForecastService::fault(struct soap* soap, const char* operation, const QString& reason)
{
    logCall(soap, operation, QStringLiteral("fault: ") + reason);
    return soap_sender_fault(soap, soap_strdup(soap, reason.toUtf8().constData()), nullptr);
}

int ForecastService::answerWithPayload(struct soap* soap, const char* responseElement, const char* statusField,
                                       const QByteArray& payload, int& statusCode, char*& statusMessage,
                                       toviSoap__DIMEData& data)
{
    if (attachment_.mode == AttachmentMode::Overlong) {
        // The runtime cannot write this answer; it is written by hand and
        // the connection ends with it.
        sendRawOverlongAnswer(soap, responseElement, statusField, payload, kForecastMediaType, attachment_);
        return SOAP_STOP;
    }
    statusCode = 0;
    statusMessage = soap_strdup(soap, "OK");
    attachPayload(soap, data, payload, kForecastMediaType, attachment_);
    return SOAP_OK;
}

int ForecastService::getUserOptions2(struct soap* soap, toviSoap__Credentials2* credentials,
                                     toviSoap__UserOptionsResponse2& response)
{
    recorder_.record({{QStringLiteral("operation"), QStringLiteral("getUserOptions2")},
                      {QStringLiteral("credentials"), jsonCredentials(credentials)}});
    const bool known = credentials && accounts_.isKnown(credentials->login, credentials->password);
    response.nStatusCode = known ? 0 : 1;
    response.statusMessage = soap_strdup(soap, known ? "OK" : "Unknown login or password");
    response.userOptions = known ? UserOptions::standard : UserOptions::unknownUser;
    logCall(soap, "getUserOptions2",
            QStringLiteral("login=%1 %2").arg(loginOf(credentials), known ? "accepted" : "unknown"));
    return SOAP_OK;
}

QByteArray ForecastService::packPayload(const QByteArray& data) const
{
    return attachment_.mode == AttachmentMode::Uncompressed ? data : compressPayload(data);
}

int ForecastService::getForecastData2(struct soap* soap, toviSoap__Credentials2* credentials,
                                      toviSoap__ForecastParameters* parameters, int requestOptions,
                                      toviSoap__ForecastResponse2& response)
{
    const char* operation = "getForecastData2";
    recorder_.record({{QStringLiteral("operation"), QString::fromLatin1(operation)},
                      {QStringLiteral("credentials"), jsonCredentials(credentials)},
                      {QStringLiteral("parameters"), jsonParameters(parameters)},
                      {QStringLiteral("nRequestOptions"), requestOptions}});
    if (!credentials || !accounts_.isKnown(credentials->login, credentials->password))
        return fault(soap, operation, QStringLiteral("Unknown login or password"));
    if (!parameters)
        return fault(soap, operation, QStringLiteral("No forecast parameters"));

    const QDate today = QDateTime::currentDateTimeUtc().date();
    QByteArray grib;
    QString error;
    if (!builderFor(today)->build(toRequest(*parameters), grib, error))
        return fault(soap, operation, error);
    const QByteArray payload = packPayload(grib);

    logCall(soap, operation,
            QStringLiteral("login=%1 meteoType=%2 resolution=%3 steps=%4 area=%5,%6,%7,%8: %9 bytes, %10 compressed")
                .arg(loginOf(credentials))
                .arg(parameters->meteoType)
                .arg(int(parameters->resolution))
                .arg(parameters->stepsNumber)
                .arg(parameters->top)
                .arg(parameters->left)
                .arg(parameters->right)
                .arg(parameters->bottom)
                .arg(grib.size())
                .arg(payload.size()));
    return answerWithPayload(soap, "ForecastResponse2", "nStatusCode", payload, response.nStatusCode,
                             response.statusMessage, response.gribData);
}

int ForecastService::t3GetData(struct soap* soap, toviSoap__t3DataRequest* request,
                               toviSoap__t3DataResponse& response)
{
    const char* operation = "t3GetData";
    recorder_.record({{QStringLiteral("operation"), QString::fromLatin1(operation)},
                      {QStringLiteral("request"), jsonDataRequest(request)}});
    if (!request || !request->filter || request->filter->resourceID != kBuoyResource)
        return fault(soap, operation, QStringLiteral("Unknown resource"));
    const QByteArray document = buildBuoyDocument(QDateTime::currentDateTimeUtc());
    const QByteArray payload = packPayload(document);
    logCall(soap, operation,
            QStringLiteral("resource=%1: %2 bytes, %3 compressed")
                .arg(request->filter->resourceID)
                .arg(document.size())
                .arg(payload.size()));
    return answerWithPayload(soap, "t3DataResponse", "statusCode", payload, response.statusCode,
                             response.statusMessage, response.gribData);
}

int ForecastService::t2AddPreset(struct soap* soap, toviSoap__Credentials2* credentials, int presetType,
                                 char* presetData, int daysActive, toviSoap__t3Response& response)
{
    const char* operation = "t2AddPreset";
    recorder_.record({{QStringLiteral("operation"), QString::fromLatin1(operation)},
                      {QStringLiteral("credentials"), jsonCredentials(credentials)},
                      {QStringLiteral("presetType"), presetType},
                      {QStringLiteral("presetData"), jsonString(presetData)},
                      {QStringLiteral("daysActive"), daysActive}});
    if (!credentials || !accounts_.isKnown(credentials->login, credentials->password))
        return fault(soap, operation, QStringLiteral("Unknown login or password"));
    if (presetType != 1)
        return fault(soap, operation, QStringLiteral("Unknown preset type %1").arg(presetType));
    if (!presetData || !*presetData)
        return fault(soap, operation, QStringLiteral("Empty preset"));
    if (daysActive < 1 || daysActive > 30)
        return fault(soap, operation, QStringLiteral("Days active must be 1 to 30, not %1").arg(daysActive));
    const QString login = loginOf(credentials);
    switch (accounts_.addPreset(login, QString::fromUtf8(presetData), daysActive,
                                QDateTime::currentDateTimeUtc())) {
    case AccountStore::PresetResult::TooManyActive:
        return fault(soap, operation,
                     QStringLiteral("At most %1 presets may be active").arg(AccountStore::kMaxActivePresets));
    case AccountStore::PresetResult::StateNotSaved:
        return fault(soap, operation, QStringLiteral("Preset could not be stored"));
    case AccountStore::PresetResult::Added:
        break;
    }
    response.statusCode = 0;
    response.statusMessage = soap_strdup(soap, "OK");
    logCall(soap, operation, QStringLiteral("login=%1 days=%2 added").arg(login).arg(daysActive));
    return SOAP_OK;
}
