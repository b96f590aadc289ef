#include "AttachmentSender.h"

#include <QElapsedTimer>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include <sys/socket.h>
#include <zlib.h>

#include "soapH.h"

namespace {

// The payload as the streaming callbacks see it; lives in the context's
// memory until the answer has gone.
struct OutgoingPayload {
    const char* data;
    size_t size;
    size_t sent;
    long bytesPerSecond;
    QElapsedTimer clock;
};

const char kOptionsText[] = "zlib-compressed payload";

void* readOpen(struct soap*, void* handle, const char*, const char*, const char*)
{
    auto* payload = static_cast<OutgoingPayload*>(handle);
    payload->sent = 0;
    payload->clock.start();
    return payload;
}

// Holds the stream to bytesPerSecond by handing out at most a twentieth of
// a second's worth at a time and waiting until it is due.
size_t throttledLength(OutgoingPayload* payload, size_t length)
{
    if (payload->bytesPerSecond <= 0)
        return length;
    const size_t slice = size_t(std::max(1L, payload->bytesPerSecond / 20));
    length = std::min(length, slice);
    const qint64 dueMs = qint64((payload->sent + length) * 1000 / size_t(payload->bytesPerSecond));
    const qint64 waitMs = dueMs - payload->clock.elapsed();
    if (waitMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
    return length;
}

size_t readChunk(struct soap*, void* handle, char* buffer, size_t length)
{
    auto* payload = static_cast<OutgoingPayload*>(handle);
    size_t n = std::min(length, payload->size - payload->sent);
    n = throttledLength(payload, n);
    std::memcpy(buffer, payload->data + payload->sent, n);
    payload->sent += n;
    return n;
}

void readClose(struct soap*, void*) {}

// The bomb: 1025 pieces of one mebibyte of zeros each, just over a
// gibibyte inflated from about a mebibyte.
constexpr int kBombPieceBytes = 1 << 20;
constexpr int kBombPieces = 1025;

QByteArray deflateRaw(z_stream& stream, const QByteArray& input, int flush)
{
    QByteArray out(int(deflateBound(&stream, uLong(input.size()))) + 64, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.constData()));
    stream.avail_in = uInt(input.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = uInt(out.size());
    deflate(&stream, flush);
    out.chop(int(stream.avail_out));
    return out;
}

// One piece deflated once and repeated: after a full flush a piece refers
// to nothing before it, so the copies make a valid stream without
// deflating a gibibyte.
QByteArray buildBomb()
{
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY);
    const QByteArray piece = deflateRaw(stream, QByteArray(kBombPieceBytes, '\0'), Z_FULL_FLUSH);
    const QByteArray last = deflateRaw(stream, QByteArray(), Z_FINISH);
    deflateEnd(&stream);
    QByteArray bomb("\x78\xda", 2);  // zlib header: deflate, 32 KiB window, best compression
    for (int k = 0; k < kBombPieces; ++k)
        bomb += piece;
    bomb += last;
    // The Adler-32 sum of n zeros: the first sum stays 1, the second is n
    // (modulo 65521).
    const quint32 adler = quint32((qint64(kBombPieces) * kBombPieceBytes % 65521) << 16 | 1);
    for (int shift = 24; shift >= 0; shift -= 8)
        bomb += char((adler >> shift) & 0xFF);
    return bomb;
}

const QByteArray& bombPayload()
{
    static const QByteArray bomb = buildBomb();
    return bomb;
}

}  // namespace

bool parseAttachmentMode(const QString& text, AttachmentMode& mode)
{
    static const struct {
        const char* name;
        AttachmentMode mode;
    } names[] = {{"normal", AttachmentMode::Normal},
                 {"empty", AttachmentMode::Empty},
                 {"no-options", AttachmentMode::NoOptions},
                 {"chunked", AttachmentMode::Chunked},
                 {"overlong", AttachmentMode::Overlong},
                 {"uncompressed", AttachmentMode::Uncompressed},
                 {"bomb", AttachmentMode::Bomb}};
    for (const auto& entry : names) {
        if (text == QLatin1String(entry.name)) {
            mode = entry.mode;
            return true;
        }
    }
    return false;
}

void installAttachmentStreaming(struct soap* soap)
{
    soap->fdimereadopen = readOpen;
    soap->fdimeread = readChunk;
    soap->fdimereadclose = readClose;
}

void attachPayload(struct soap* soap, toviSoap__DIMEData& field, const QByteArray& built,
                   const char* mediaType, const AttachmentOptions& options)
{
    const QByteArray& payload = options.mode == AttachmentMode::Bomb ? bombPayload() : built;
    const bool empty = options.mode == AttachmentMode::Empty;
    auto* outgoing = static_cast<OutgoingPayload*>(soap_malloc(soap, sizeof(OutgoingPayload)));
    char* copy = static_cast<char*>(soap_malloc(soap, size_t(payload.size()) + 1));
    std::memcpy(copy, payload.constData(), size_t(payload.size()));
    new (outgoing) OutgoingPayload{copy, empty ? 0 : size_t(payload.size()), 0, options.bytesPerSecond, {}};

    field.__ptr = reinterpret_cast<unsigned char*>(outgoing);
    field.__size = int(outgoing->size);
    field.id = nullptr;  // the runtime names it
    field.type = soap_strdup(soap, mediaType);
    field.options = options.mode == AttachmentMode::NoOptions ? nullptr
                                                              : soap_dime_option(soap, 0, kOptionsText);
    // Document/literal answers carry attachments only in a DIME message.
    soap_set_dime(soap);
    if (options.mode == AttachmentMode::Chunked) {
        // A record of unknown size goes out in chunks, which needs an
        // answer without a Content-Length.
        field.__size = 0;
        soap->omode = (soap->omode & ~SOAP_IO) | SOAP_IO_CHUNK;
    }
}

namespace {

void appendUint16(std::string& out, size_t value)
{
    out.push_back(char((value >> 8) & 0xFF));
    out.push_back(char(value & 0xFF));
}

void appendPadded(std::string& out, const std::string& bytes)
{
    out += bytes;
    out.append((4 - bytes.size() % 4) % 4, '\0');
}

// One DIME record (RFC draft "Direct Internet Message Encapsulation").
std::string dimeRecord(unsigned flags, unsigned typeFormat, const std::string& options,
                       const std::string& id, const std::string& type, const std::string& data)
{
    std::string out;
    out.push_back(char(0x08 | flags));  // version 1
    out.push_back(char(typeFormat << 4));
    appendUint16(out, options.size());
    appendUint16(out, id.size());
    appendUint16(out, type.size());
    const size_t n = data.size();
    out.push_back(char((n >> 24) & 0xFF));
    out.push_back(char((n >> 16) & 0xFF));
    out.push_back(char((n >> 8) & 0xFF));
    out.push_back(char(n & 0xFF));
    appendPadded(out, options);
    appendPadded(out, id);
    appendPadded(out, type);
    appendPadded(out, data);
    return out;
}

bool sendAll(int socket, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::send(socket, data, size, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

}  // namespace

bool sendRawOverlongAnswer(struct soap* soap, const char* responseElement, const char* statusField,
                           const QByteArray& payload, const char* mediaType,
                           const AttachmentOptions&)
{
    // Named as the runtime names its own: the record's id, "cid:" + id in
    // the reference.
    const std::string id = "overlong";
    std::string envelope =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" "
        "xmlns:toviSoap=\"";
    envelope += soap->namespaces[4].ns;
    envelope += "\"><SOAP-ENV:Body><toviSoap:";
    envelope += responseElement;
    envelope += "><" + std::string(statusField) + ">0</" + statusField + ">";
    envelope += "<statusMessage>OK</statusMessage><gribData href=\"cid:" + id + "\"/></toviSoap:";
    envelope += responseElement;
    envelope += "></SOAP-ENV:Body></SOAP-ENV:Envelope>\n";

    std::string options;
    options.push_back('\0');  // option type 0
    options.push_back('\0');
    appendUint16(options, sizeof(kOptionsText) - 1);
    options += kOptionsText;

    const unsigned MB = 0x04, ME = 0x02, CF = 0x01;
    const unsigned absoluteUri = 2, mediaTypeFormat = 1, unchanged = 0;
    std::string body = dimeRecord(MB, absoluteUri, "", "", "http://schemas.xmlsoap.org/soap/envelope/", envelope);
    body += dimeRecord(CF, mediaTypeFormat, options, id, mediaType,
                       std::string(payload.constData(), size_t(payload.size())));
    body += dimeRecord(ME, unchanged, "", "", "", std::string(16, 'x'));

    std::string header = "HTTP/1.1 200 OK\r\nContent-Type: application/dime\r\nContent-Length: ";
    header += std::to_string(body.size());
    header += "\r\nConnection: close\r\n\r\n";
    soap->keep_alive = 0;
    return sendAll(soap->socket, header.data(), header.size()) && sendAll(soap->socket, body.data(), body.size());
}
