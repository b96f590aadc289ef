// The namespace table every message of the forecast service declares, in
// this order.  On input the envelope, encoding and schema namespaces of any
// W3C version are accepted as well; the service namespace only as written.
#include "stdsoap2.h"
#include "Provider.h"

SOAP_NMAC struct Namespace namespaces[] = {
    {"SOAP-ENV", "http://schemas.xmlsoap.org/soap/envelope/", "http://www.w3.org/*/soap-envelope", nullptr},
    {"SOAP-ENC", "http://schemas.xmlsoap.org/soap/encoding/", "http://www.w3.org/*/soap-encoding", nullptr},
    {"xsi", "http://www.w3.org/2001/XMLSchema-instance", "http://www.w3.org/*/XMLSchema-instance", nullptr},
    {"xsd", "http://www.w3.org/2001/XMLSchema", "http://www.w3.org/*/XMLSchema", nullptr},
    {"toviSoap", Provider::serviceNamespace, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr}};
