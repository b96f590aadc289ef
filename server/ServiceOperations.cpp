// The operations the generated server skeleton calls, forwarded to the
// ForecastService of the server that the connection's context carries.
#include "ForecastServer.h"
#include "ForecastService.h"
#include "soapH.h"

namespace {
ForecastService* serviceOf(struct soap* soap)
{
    return &ForecastServer::of(soap).service();
}
}  // namespace

int toviSoap__getUserOptions2(struct soap* soap, toviSoap__Credentials2* credentials,
                              toviSoap__UserOptionsResponse2& response)
{
    return serviceOf(soap)->getUserOptions2(soap, credentials, response);
}

int toviSoap__getForecastData2(struct soap* soap, toviSoap__Credentials2* credentials,
                               toviSoap__ForecastParameters* parameters, int nRequestOptions,
                               toviSoap__ForecastResponse2& response)
{
    return serviceOf(soap)->getForecastData2(soap, credentials, parameters, nRequestOptions, response);
}

int toviSoap__t3GetData(struct soap* soap, toviSoap__t3DataRequest* request, toviSoap__t3DataResponse& response)
{
    return serviceOf(soap)->t3GetData(soap, request, response);
}

int toviSoap__t2AddPreset(struct soap* soap, toviSoap__Credentials2* credentials, int presetType,
                          char* presetData, int daysActive, toviSoap__t3Response& response)
{
    return serviceOf(soap)->t2AddPreset(soap, credentials, presetType, presetData, daysActive, response);
}
