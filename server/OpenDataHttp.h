// The HTTP/1.1 the stand-in open-data services speak: requests read from
// a connection's bytes within fixed bounds, single byte ranges, and the
// head of an answer.
#ifndef SKYVANE_OPENDATAHTTP_H
#define SKYVANE_OPENDATAHTTP_H

#include <QByteArray>
#include <QList>
#include <QPair>

struct HttpRequest {
    QByteArray method;
    QByteArray target;
    QByteArray version;
    QList<QPair<QByteArray, QByteArray>> headers;  // names in lower case

    QByteArray header(const QByteArray& lowerName) const;
    bool keepAlive() const;
};

// Takes one request at a time from the front of a connection's buffer.  A
// request line longer than kMaxLineBytes, a head longer than kMaxHeadBytes
// or with more than kMaxHeaders fields, or one announcing a body, is bad.
class HttpRequestReader {
public:
    static constexpr int kMaxLineBytes = 8192;
    static constexpr int kMaxHeadBytes = 32768;
    static constexpr int kMaxHeaders = 100;

    enum class Result { NeedMore, Ready, Bad };
    Result take(QByteArray& buffer, HttpRequest& request) const;

private:
    static bool parseRequestLine(const QByteArray& line, HttpRequest& request);
    static bool parseHeaders(const QList<QByteArray>& lines, HttpRequest& request);
};

struct ByteRange {
    qint64 first = 0;
    qint64 last = 0;
    qint64 length() const { return last - first + 1; }
};

enum class RangeAnswer { Whole, Part, Unsatisfiable };

// A Range header ("bytes=a-b", "bytes=a-", "bytes=-n") against a body of
// size bytes.  Anything else, several ranges included, is ignored and the
// whole body answered, as servers may.
RangeAnswer rangeOf(const QByteArray& header, qint64 size, ByteRange& range);

QByteArray reasonPhrase(int status);

// The status line and headers, Content-Length always, ending in the
// blank line.
QByteArray answerHead(int status, qint64 contentLength, const QByteArray& contentType, bool keepAlive,
                      const QList<QPair<QByteArray, QByteArray>>& extra = {});

#endif
