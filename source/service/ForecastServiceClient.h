// One SOAP context of the forecast service, owned by the worker that makes
// the calls, and the four calls the program makes with the values it puts
// into them.  Each call returns the runtime's code: 0 on success, anything
// else (transport, HTTP, fault, malformed answer, refused attachment) is
// plain failure.
#ifndef SKYVANE_FORECASTSERVICECLIENT_H
#define SKYVANE_FORECASTSERVICECLIENT_H

#include <memory>

#include "AttachmentSink.h"
#include "ToviForecastParameters.h"

struct soap;
struct toviSoap__DIMEData;
class QObject;

class ForecastServiceClient {
public:
    // With a worker, attachments stream into the sink, which posts
    // setProgress(int, int) to the worker's TransferControl (the worker
    // itself or its parent) and stops when that is no longer running.
    explicit ForecastServiceClient(QObject* worker = nullptr);
    ~ForecastServiceClient();
    ForecastServiceClient(const ForecastServiceClient&) = delete;
    ForecastServiceClient& operator=(const ForecastServiceClient&) = delete;

    struct soap* context() { return soap_; }
    // Time limits of the calls, in seconds; 0 (the default) waits as long
    // as the server takes.
    void setTimeLimits(int connectSeconds, int transferSeconds);

    // Login check: userOptions receives the server's value, negative for
    // credentials it does not know.
    int getUserOptions(const char* endpoint, const char* login, const char* password, int* userOptions);

    // Fields 1 to 10 of parameters as they are (the caller aligns the
    // area).  *payload is the accepted attachment, or null.
    int getForecastData(const char* endpoint, const ToviCredentials& credentials,
                        const ToviForecastParameters& parameters, DimeBuffer** payload);

    // The buoy observation document; *payload as above.
    int getBuoyData(const char* endpoint, DimeBuffer** payload);

    // A preset for daily e-mail delivery; success is the return code alone.
    int addPreset(const char* endpoint, const char* login, const char* password,
                  const char* presetData, int daysActive);

    // The userAgent texts the calls send.
    static constexpr char kLoginUserAgent[] = "Skyvane ver. 3.2 MAC";
    static constexpr char kUserAgent[] = "Skyvane 3.2";
    // Resource of the buoy observation document.
    static constexpr unsigned kBuoyResource = 128;

private:
    void resetCall();
    // The acceptance test of a delivered payload; hands it out when it
    // passes, otherwise null.
    DimeBuffer* acceptPayload(int callResult, const toviSoap__DIMEData& data);

    struct soap* soap_;
    std::unique_ptr<AttachmentSink> sink_;
};

#endif
