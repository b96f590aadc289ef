// The serialisers of toviSoap__UserOptions: written as its name when it has
// one, otherwise as a decimal number; read from a name or any decimal int.
#include "UserOptions.h"

#include "soapH.h"

namespace {
const struct soap_code_map kNames[] = {
    {UserOptions::unknownUser, "uoUnknownUser"},
    {UserOptions::standard, "uoStandard"},
    {UserOptions::subscriber, "uoSubscriber"},
    {0, nullptr},
};
}  // namespace

void soap_default_toviSoap__UserOptions(struct soap*, int* value)
{
    *value = UserOptions::standard;
}

const char* soap_toviSoap__UserOptions2s(struct soap* soap, int value)
{
    const char* name = soap_code_str(kNames, value);
    return name ? name : soap_int2s(soap, value);
}

int soap_s2toviSoap__UserOptions(struct soap* soap, const char* text, int* value)
{
    if (!text)
        return soap->error;
    if (const struct soap_code_map* named = soap_code(kNames, text)) {
        *value = int(named->code);
        return SOAP_OK;
    }
    if (!*text)
        return soap->error = SOAP_EMPTY;
    return soap_s2int(soap, text, value) ? soap->error = SOAP_TYPE : SOAP_OK;
}

int soap_out_toviSoap__UserOptions(struct soap* soap, const char* tag, int id, const int* value, const char* type)
{
    if (soap_element_begin_out(soap, tag, soap_embedded_id(soap, id, value, SOAP_TYPE_toviSoap__UserOptions), type) ||
        soap_send(soap, soap_toviSoap__UserOptions2s(soap, *value)))
        return soap->error;
    return soap_element_end_out(soap, tag);
}

int* soap_in_toviSoap__UserOptions(struct soap* soap, const char* tag, int* value, const char* type)
{
    if (soap_element_begin_in(soap, tag, 0, type))
        return nullptr;
    value = static_cast<int*>(soap_id_enter(soap, soap->id, value, SOAP_TYPE_toviSoap__UserOptions, sizeof(int),
                                            nullptr, nullptr, nullptr, nullptr));
    if (!value)
        return nullptr;
    if (*soap->href == '#') {  // a reference to a value elsewhere in the message
        value = static_cast<int*>(soap_id_forward(soap, soap->href, value, 0, SOAP_TYPE_toviSoap__UserOptions,
                                                  SOAP_TYPE_toviSoap__UserOptions, sizeof(int), 0, nullptr, nullptr));
        return soap->body && soap_element_end_in(soap, tag) ? nullptr : value;
    }
    const int error = soap_s2toviSoap__UserOptions(soap, soap_value(soap), value);
    return (soap->body && soap_element_end_in(soap, tag)) || error ? nullptr : value;
}
