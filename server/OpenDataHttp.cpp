#include "OpenDataHttp.h"

#include <algorithm>

namespace {

bool isToken(const QByteArray& text)
{
    if (text.isEmpty())
        return false;
    for (char c : text)
        if (c <= ' ' || c >= 127 || c == ':')
            return false;
    return true;
}

// Digits only, without overflow.
bool toOffset(const QByteArray& text, qint64& value)
{
    if (text.isEmpty() || text.size() > 18)
        return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

}  // namespace

QByteArray HttpRequest::header(const QByteArray& lowerName) const
{
    for (const auto& h : headers)
        if (h.first == lowerName)
            return h.second;
    return QByteArray();
}

bool HttpRequest::keepAlive() const
{
    const QByteArray connection = header("connection").toLower();
    if (version == "HTTP/1.0")
        return connection.contains("keep-alive");
    return !connection.contains("close");
}

bool HttpRequestReader::parseRequestLine(const QByteArray& line, HttpRequest& request)
{
    const QList<QByteArray> parts = line.split(' ');
    if (parts.size() != 3 || !isToken(parts[0]) || !parts[1].startsWith('/') || !isToken(parts[1]))
        return false;
    if (parts[2] != "HTTP/1.1" && parts[2] != "HTTP/1.0")
        return false;
    request.method = parts[0];
    request.target = parts[1];
    request.version = parts[2];
    return true;
}

bool HttpRequestReader::parseHeaders(const QList<QByteArray>& lines, HttpRequest& request)
{
    if (lines.size() > kMaxHeaders)
        return false;
    for (const QByteArray& line : lines) {
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0 || !isToken(line.left(colon)))
            return false;
        request.headers.append({line.left(colon).toLower(), line.mid(colon + 1).trimmed()});
    }
    // GET and HEAD carry no body; one announced is refused rather than
    // read and skipped.
    const QByteArray length = request.header("content-length");
    return (length.isEmpty() || length == "0") && request.header("transfer-encoding").isEmpty();
}

HttpRequestReader::Result HttpRequestReader::take(QByteArray& buffer, HttpRequest& request) const
{
    const qsizetype end = buffer.indexOf("\r\n\r\n");
    const qsizetype lineEnd = buffer.indexOf("\r\n");
    if (lineEnd > kMaxLineBytes || (lineEnd < 0 && buffer.size() > kMaxLineBytes))
        return Result::Bad;
    if (end < 0)
        return buffer.size() > kMaxHeadBytes ? Result::Bad : Result::NeedMore;
    if (end + 4 > kMaxHeadBytes)
        return Result::Bad;
    QList<QByteArray> lines = buffer.left(end).split('\n');
    buffer.remove(0, end + 4);
    for (QByteArray& line : lines)
        if (line.endsWith('\r'))
            line.chop(1);
    request = HttpRequest();
    const QByteArray requestLine = lines.takeFirst();
    if (!parseRequestLine(requestLine, request) || !parseHeaders(lines, request))
        return Result::Bad;
    return Result::Ready;
}

RangeAnswer rangeOf(const QByteArray& header, qint64 size, ByteRange& range)
{
    if (!header.startsWith("bytes=") || header.contains(','))
        return RangeAnswer::Whole;
    const QByteArray bounds = header.mid(6).trimmed();
    const qsizetype dash = bounds.indexOf('-');
    if (dash < 0)
        return RangeAnswer::Whole;
    const QByteArray from = bounds.left(dash), to = bounds.mid(dash + 1);
    qint64 first = 0, last = 0;
    if (from.isEmpty()) {
        // The last n bytes.
        if (!toOffset(to, last))
            return RangeAnswer::Whole;
        if (last == 0 || size == 0)
            return RangeAnswer::Unsatisfiable;
        range = {std::max<qint64>(0, size - last), size - 1};
        return RangeAnswer::Part;
    }
    if (!toOffset(from, first) || (!to.isEmpty() && !toOffset(to, last)))
        return RangeAnswer::Whole;
    if (!to.isEmpty() && last < first)
        return RangeAnswer::Whole;
    if (first >= size)
        return RangeAnswer::Unsatisfiable;
    range = {first, to.isEmpty() ? size - 1 : std::min(last, size - 1)};
    return RangeAnswer::Part;
}

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 206:
        return "Partial Content";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 416:
        return "Range Not Satisfiable";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Unknown";
    }
}

QByteArray answerHead(int status, qint64 contentLength, const QByteArray& contentType, bool keepAlive,
                      const QList<QPair<QByteArray, QByteArray>>& extra)
{
    QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) + "\r\n";
    head += "Content-Type: " + contentType + "\r\n";
    head += "Content-Length: " + QByteArray::number(contentLength) + "\r\n";
    head += keepAlive ? "Connection: keep-alive\r\n" : "Connection: close\r\n";
    for (const auto& h : extra)
        head += h.first + ": " + h.second + "\r\n";
    return head + "\r\n";
}
