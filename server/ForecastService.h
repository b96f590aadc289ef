// What the stand-in server answers to each operation: account checks,
// forecasts and the buoy document as attachments, presets, and the log and
// record of every call.  Called from many connection threads at once.
#ifndef SKYVANE_FORECASTSERVICE_H
#define SKYVANE_FORECASTSERVICE_H

#include <QDate>
#include <QString>

#include <functional>
#include <memory>
#include <mutex>

#include "AttachmentSender.h"

struct soap;
struct toviSoap__Credentials2;
struct toviSoap__ForecastParameters;
struct toviSoap__t3DataRequest;
struct toviSoap__UserOptionsResponse2;
struct toviSoap__ForecastResponse2;
struct toviSoap__t3DataResponse;
struct toviSoap__t3Response;
struct toviSoap__DIMEData;
class AccountStore;
class ForecastBuilder;
class RequestRecorder;

class ForecastService {
public:
    ForecastService(AccountStore& accounts, RequestRecorder& recorder, AttachmentOptions attachment);
    ~ForecastService();

    // False with the reason when the land masks cannot be read there (the
    // built-in coarse coastline stays in use).
    bool setLandMaskDirectory(const QString& directory, QString* error);
    // The number of usable GRIB1 files found there.
    int setRealDataDirectory(const QString& directory);

    int getUserOptions2(struct soap* soap, toviSoap__Credentials2* credentials,
                        toviSoap__UserOptionsResponse2& response);
    int getForecastData2(struct soap* soap, toviSoap__Credentials2* credentials,
                         toviSoap__ForecastParameters* parameters, int requestOptions,
                         toviSoap__ForecastResponse2& response);
    int t3GetData(struct soap* soap, toviSoap__t3DataRequest* request, toviSoap__t3DataResponse& response);
    int t2AddPreset(struct soap* soap, toviSoap__Credentials2* credentials, int presetType,
                    char* presetData, int daysActive, toviSoap__t3Response& response);

    // Resource of the buoy observation document.
    static constexpr unsigned kBuoyResource = 128;

private:
    // The builder for today's UTC date: forecast day 0 is always today.
    std::shared_ptr<const ForecastBuilder> builderFor(const QDate& todayUtc);
    int fault(struct soap* soap, const char* operation, const QString& reason);
    // Deflated, unless the test mode asks for the bytes as built.
    QByteArray packPayload(const QByteArray& data) const;
    // Fills the status fields and attaches the payload (or, in the
    // overlong test mode, writes the whole answer by hand).
    int answerWithPayload(struct soap* soap, const char* responseElement, const char* statusField,
                          const QByteArray& payload, int& statusCode, char*& statusMessage,
                          toviSoap__DIMEData& data);
    void logCall(struct soap* soap, const char* operation, const QString& outcome) const;

    AccountStore& accounts_;
    RequestRecorder& recorder_;
    AttachmentOptions attachment_;
    std::unique_ptr<ForecastBuilder> configured_;  // land mask and real data
    std::mutex builderMutex_;
    std::shared_ptr<const ForecastBuilder> builder_;
};

#endif
