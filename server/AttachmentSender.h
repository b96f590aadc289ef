// How the stand-in server sends a payload as the DIME attachment of its
// answer: normally as one unchunked record, streamed (and slowed down when
// asked, so that clients can show progress and cancel); for testing
// clients, also in the faulty or unusual forms a real server might send.
#ifndef SKYVANE_ATTACHMENTSENDER_H
#define SKYVANE_ATTACHMENTSENDER_H

#include <QByteArray>
#include <QString>

struct soap;
struct toviSoap__DIMEData;

enum class AttachmentMode {
    Normal,     // one unchunked record with an options field
    Empty,      // a record that declares and holds no bytes
    NoOptions,  // the payload without an options field
    Chunked,    // the payload in chunks of 2 KiB
    Overlong,   // a record holding the payload, continued by 16 extra bytes
    Uncompressed,  // the payload as built, not deflated
    Bomb        // instead of the payload, a small zlib stream of over 1 GiB of zeros
};

// Parses "normal", "empty", "no-options", "chunked", "overlong",
// "uncompressed", "bomb".
bool parseAttachmentMode(const QString& text, AttachmentMode& mode);

struct AttachmentOptions {
    AttachmentMode mode = AttachmentMode::Normal;
    long bytesPerSecond = 0;  // 0: as fast as the connection takes it
};

// Installs the streaming callbacks on a server context.
void installAttachmentStreaming(struct soap* soap);

// Makes field refer to payload (copied into the context's memory) as an
// attachment of the given media type.  In the overlong mode the answer
// cannot be written by the runtime: the caller must then call
// sendRawForecastAnswer instead and end the connection.
void attachPayload(struct soap* soap, toviSoap__DIMEData& field, const QByteArray& payload,
                   const char* mediaType, const AttachmentOptions& options);

// Writes a complete HTTP answer by hand: the response element named
// responseElement with the given status fields and a gribData reference,
// and the payload continued past its declared length.  False when the
// connection failed.
bool sendRawOverlongAnswer(struct soap* soap, const char* responseElement, const char* statusField,
                           const QByteArray& payload, const char* mediaType,
                           const AttachmentOptions& options);

#endif
