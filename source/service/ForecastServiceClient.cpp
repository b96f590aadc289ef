#include "ForecastServiceClient.h"

#include "soapH.h"

namespace {
// No action of its own: this runtime omits the header for a null action,
// while the service expects it present as an empty quoted string.
const char kSoapAction[] = "";

// The wire record borrows the strings; the runtime only reads them.
toviSoap__Credentials2 wireCredentials(const char* key, const char* login, const char* password,
                                       const char* userAgent)
{
    toviSoap__Credentials2 credentials{};
    credentials.key = const_cast<char*>(key);
    credentials.login = const_cast<char*>(login);
    credentials.password = const_cast<char*>(password);
    credentials.userAgent = const_cast<char*>(userAgent);
    return credentials;
}

toviSoap__ForecastParameters wireParameters(const ToviForecastParameters& p)
{
    toviSoap__ForecastParameters wire{};
    wire.meteoType = unsigned(p.meteoType);
    wire.resolution = toviSoap__GribResolution(p.resolution);
    wire.forecastDay = toviSoap__ForecastDay(p.forecastDay);
    wire.forecastTime = toviSoap__ForecastTime(p.forecastTime);
    wire.timeStep = toviSoap__TimeStep(p.timeStep);
    wire.stepsNumber = unsigned(p.stepsNumber);
    wire.top = p.top;
    wire.left = p.left;
    wire.right = p.right;
    wire.bottom = p.bottom;
    return wire;
}

}  // namespace

void ForecastServiceClient::setTimeLimits(int connectSeconds, int transferSeconds)
{
    soap_->connect_timeout = connectSeconds;
    soap_->send_timeout = transferSeconds;
    soap_->recv_timeout = transferSeconds;
}

ForecastServiceClient::ForecastServiceClient(QObject* worker)
    : soap_(soap_new1(SOAP_IO_KEEPALIVE))
{
    // A forecast may take long to prepare and to stream: no time limits.
    soap_->connect_timeout = 0;
    soap_->send_timeout = 0;
    soap_->recv_timeout = 0;
    soap_->transfer_timeout = 0;
    if (worker) {
        sink_ = std::make_unique<AttachmentSink>(worker);
        sink_->install(soap_);
    }
}

ForecastServiceClient::~ForecastServiceClient()
{
    soap_destroy(soap_);
    soap_end(soap_);
    soap_free(soap_);  // also closes a kept-alive connection
    sink_.reset();
}

void ForecastServiceClient::resetCall()
{
    // Deserialised data of the previous call go; the connection stays.
    soap_destroy(soap_);
    soap_end(soap_);
    if (sink_)
        sink_->clear();
}

DimeBuffer* ForecastServiceClient::acceptPayload(int callResult, const toviSoap__DIMEData& data)
{
    if (callResult != SOAP_OK || !data.options || !sink_)
        return nullptr;
    DimeBuffer* buffer = sink_->take(data.__ptr);
    if (!buffer)
        return nullptr;
    if (!buffer->data || buffer->received != buffer->capacity || buffer->received == 0) {
        freeDimeBuffer(buffer);
        return nullptr;
    }
    return buffer;
}

int ForecastServiceClient::getUserOptions(const char* endpoint, const char* login,
                                          const char* password, int* userOptions)
{
    resetCall();
    toviSoap__Credentials2 credentials = wireCredentials(nullptr, login, password, kLoginUserAgent);
    toviSoap__UserOptionsResponse2 response{};
    int result = soap_call_toviSoap__getUserOptions2(soap_, endpoint, kSoapAction, &credentials, response);
    if (userOptions)
        *userOptions = result == SOAP_OK ? int(response.userOptions) : -1;
    return result;
}

int ForecastServiceClient::getForecastData(const char* endpoint, const ToviCredentials& credentials,
                                           const ToviForecastParameters& parameters, DimeBuffer** payload)
{
    *payload = nullptr;
    resetCall();
    toviSoap__Credentials2 wireAccount =
        wireCredentials(credentials.key, credentials.login, credentials.password, kUserAgent);
    toviSoap__ForecastParameters wire = wireParameters(parameters);
    toviSoap__ForecastResponse2 response{};
    const int requestOptions = 2;
    int result = soap_call_toviSoap__getForecastData2(soap_, endpoint, kSoapAction, &wireAccount, &wire,
                                                      requestOptions, response);
    *payload = acceptPayload(result, response.gribData);
    return result;
}

int ForecastServiceClient::getBuoyData(const char* endpoint, DimeBuffer** payload)
{
    *payload = nullptr;
    resetCall();
    toviSoap__t3Credentials credentials{};
    credentials.key = const_cast<char*>("");
    credentials.language = const_cast<char*>("en");
    credentials.userAgent = const_cast<char*>(kUserAgent);
    credentials.reserved = nullptr;
    toviSoap__t3DataFilter filter{};
    filter.resourceID = kBuoyResource;
    toviSoap__t3DataRequest request{};
    request.credentials = &credentials;
    request.filter = &filter;
    request.requestOptions = 2;
    toviSoap__t3DataResponse response{};
    int result = soap_call_toviSoap__t3GetData(soap_, endpoint, kSoapAction, &request, response);
    *payload = acceptPayload(result, response.gribData);
    return result;
}

int ForecastServiceClient::addPreset(const char* endpoint, const char* login, const char* password,
                                     const char* presetData, int daysActive)
{
    resetCall();
    toviSoap__Credentials2 credentials = wireCredentials(nullptr, login, password, kUserAgent);
    toviSoap__t3Response response{};
    const int presetType = 1;
    return soap_call_toviSoap__t2AddPreset(soap_, endpoint, kSoapAction, &credentials, presetType,
                                           const_cast<char*>(presetData), daysActive, response);
}
