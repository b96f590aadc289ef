// The stand-in open-data server as a process on loopback: byte ranges at
// their edges, hostile requests, the ECMWF .index against the messages it
// points at, and NOMADS subregion cuts, read back with ecCodes.
#include "opendatafixtures.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QTest>

#include <eccodes.h>

#include <memory>
#include <vector>

namespace {

const QByteArray kRun = "2026120700";
const QByteArray kWaveIndex = "/ecmwf/20261207/00z/ifs/0p25/wave/20261207000000-0h-wave-fc.index";

struct RawAnswer {
    int status = 0;
    QByteArray head;
    QByteArray body;
    bool closed = false;  // the server closed the connection after it

    QByteArray header(const QByteArray& name) const
    {
        for (const QByteArray& line : head.split('\n'))
            if (line.toLower().startsWith(name.toLower() + ':'))
                return line.mid(name.size() + 1).trimmed();
        return QByteArray();
    }
};

// Sends request as it is and reads one answer; closed tells whether the
// server then hung up.
RawAnswer exchange(int port, const QByteArray& request)
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), quint16(port));
    RawAnswer answer;
    if (!socket.waitForConnected(10000))
        return answer;
    socket.write(request);
    QByteArray data;
    qsizetype headEnd = -1;
    while ((headEnd = data.indexOf("\r\n\r\n")) < 0 && socket.waitForReadyRead(30000))
        data += socket.readAll();
    answer.head = data.left(headEnd);
    answer.status = answer.head.mid(9, 3).toInt();
    const qint64 length = answer.header("Content-Length").toLongLong();
    data.remove(0, headEnd + 4);
    while (data.size() < length && socket.waitForReadyRead(30000))
        data += socket.readAll();
    answer.body = data;
    answer.closed = socket.state() == QAbstractSocket::UnconnectedState || socket.waitForDisconnected(10000);
    return answer;
}

QByteArray get(const QByteArray& target, const QByteArray& extraHeaders = {})
{
    return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" + extraHeaders + "\r\n";
}

struct HandleDeleter {
    void operator()(codes_handle* h) const { codes_handle_delete(h); }
};
using Handle = std::unique_ptr<codes_handle, HandleDeleter>;

std::vector<Handle> messagesOf(const QByteArray& bytes)
{
    std::vector<Handle> messages;
    qsizetype offset = 0;
    while (offset < bytes.size()) {
        Handle h(codes_handle_new_from_message(nullptr, bytes.constData() + offset, size_t(bytes.size() - offset)));
        long length = 0;
        if (!h || codes_get_long(h.get(), "totalLength", &length) != 0 || length <= 0)
            break;
        offset += length;
        messages.push_back(std::move(h));
    }
    return messages;
}

QString stringOf(codes_handle* h, const char* key)
{
    char text[64] = {};
    size_t length = sizeof text;
    return codes_get_string(h, key, text, &length) == 0 ? QString::fromLatin1(text) : QString();
}

double doubleOf(codes_handle* h, const char* key)
{
    double value = NAN;
    codes_get_double(h, key, &value);
    return value;
}

}  // namespace

class TestOpenDataServer : public QObject {
    Q_OBJECT

    std::unique_ptr<OpenDataStandIn> server;

private slots:
    void initTestCase()
    {
        server = std::make_unique<OpenDataStandIn>(QStringList{"--run", QString::fromLatin1(kRun)});
        QVERIFY(server->running());
    }

    // Offsets from the end: -1 stands for the size of the body.
    void ranges_data()
    {
        QTest::addColumn<QByteArray>("range");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("contentRange");  // "SIZE" stands for the size
        QTest::newRow("first bytes") << QByteArray("bytes=0-9") << 206 << QByteArray("bytes 0-9/SIZE");
        QTest::newRow("open end") << QByteArray("bytes=10-") << 206 << QByteArray("bytes 10-LAST/SIZE");
        QTest::newRow("last bytes") << QByteArray("bytes=-10") << 206 << QByteArray("bytes TAIL-LAST/SIZE");
        QTest::newRow("end past the size") << QByteArray("bytes=5-99999999") << 206 << QByteArray("bytes 5-LAST/SIZE");
        QTest::newRow("start at the size") << QByteArray("bytes=SIZE-") << 416 << QByteArray("bytes */SIZE");
        QTest::newRow("start past the size") << QByteArray("bytes=99999999-99999999") << 416 << QByteArray("bytes */SIZE");
        QTest::newRow("several ranges: whole") << QByteArray("bytes=0-1,4-5") << 200 << QByteArray();
        QTest::newRow("other unit: whole") << QByteArray("items=0-1") << 200 << QByteArray();
        QTest::newRow("reversed: whole") << QByteArray("bytes=9-2") << 200 << QByteArray();
    }

    void ranges()
    {
        QFETCH(QByteArray, range);
        QFETCH(int, status);
        QFETCH(QByteArray, contentRange);
        const QByteArray whole = exchange(server->port, get(kWaveIndex)).body;
        QVERIFY(whole.size() > 20);
        const QByteArray size = QByteArray::number(whole.size());
        const auto fill = [&](QByteArray text) {
            return text.replace("SIZE", size)
                .replace("LAST", QByteArray::number(whole.size() - 1))
                .replace("TAIL", QByteArray::number(whole.size() - 10));
        };
        const RawAnswer answer = exchange(server->port, get(kWaveIndex, "Range: " + fill(range) + "\r\n"));
        QCOMPARE(answer.status, status);
        QCOMPARE(answer.header("Content-Range"), fill(contentRange));
        QCOMPARE(answer.header("Content-Length").toLongLong(), qint64(answer.body.size()));
        if (status == 206) {
            const QList<QByteArray> span = answer.header("Content-Range").mid(6).split('/').first().split('-');
            QCOMPARE(answer.body, whole.mid(span[0].toLongLong(), span[1].toLongLong() - span[0].toLongLong() + 1));
        }
    }

    // Refused with 400 (405 for another method) and the connection closed.
    void hostileRequests_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("status");
        QTest::newRow("request line over 8 KiB") << "GET /" + QByteArray(10000, 'a') + " HTTP/1.1\r\n\r\n" << 400;
        QTest::newRow("unending request line") << QByteArray(100000, 'x') << 400;
        QTest::newRow("too many headers") << "GET / HTTP/1.1\r\n" + QByteArray("X-A: b\r\n").repeated(5000) + "\r\n" << 400;
        QTest::newRow("unending header") << "GET / HTTP/1.1\r\nX-A: " + QByteArray(100000, 'b') << 400;
        QTest::newRow("no version") << QByteArray("GET /\r\n\r\n") << 400;
        QTest::newRow("header without colon") << QByteArray("GET / HTTP/1.1\r\nnonsense\r\n\r\n") << 400;
        QTest::newRow("a body announced") << QByteArray("GET / HTTP/1.1\r\nContent-Length: 5\r\n\r\nhello") << 400;
        QTest::newRow("binary") << QByteArray(70000, '\0') << 400;
        QTest::newRow("other method") << QByteArray("DELETE / HTTP/1.1\r\n\r\n") << 405;
    }

    void hostileRequests()
    {
        QFETCH(QByteArray, request);
        QFETCH(int, status);
        const RawAnswer answer = exchange(server->port, request);
        QCOMPARE(answer.status, status);
        QVERIFY(answer.closed);
        QVERIFY(server->running());
    }

    // Every .index line's range is one whole message of its param, and the
    // lines cover the file back to back.
    void indexOffsets_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("oper 6 h") << QByteArray("/ecmwf/20261207/00z/ifs/0p25/oper/20261207000000-6h-oper-fc");
        QTest::newRow("wave 0 h") << QByteArray("/ecmwf/20261207/00z/ifs/0p25/wave/20261207000000-0h-wave-fc");
    }

    void indexOffsets()
    {
        QFETCH(QByteArray, file);
        const QList<QByteArray> lines = exchange(server->port, get(file + ".index")).body.trimmed().split('\n');
        qint64 end = 0;
        QByteArray fileSize;
        for (const QByteArray& line : lines) {
            const QJsonObject entry = QJsonDocument::fromJson(line).object();
            const qint64 offset = entry.value("_offset").toInteger(), length = entry.value("_length").toInteger();
            QCOMPARE(offset, end);
            const QByteArray range = "Range: bytes=" + QByteArray::number(offset) + '-' +
                                     QByteArray::number(offset + length - 1) + "\r\n";
            const RawAnswer answer = exchange(server->port, get(file + ".grib2", range));
            QCOMPARE(answer.status, 206);
            const std::vector<Handle> messages = messagesOf(answer.body);
            QCOMPARE(messages.size(), size_t(1));
            long total = 0;
            codes_get_long(messages[0].get(), "totalLength", &total);
            QCOMPARE(qint64(total), length);
            QCOMPARE(stringOf(messages[0].get(), "shortName"), entry.value("param").toString());
            QCOMPARE(stringOf(messages[0].get(), "centre"), QStringLiteral("ecmf"));
            end = offset + length;
            fileSize = answer.header("Content-Range").split('/').last();
        }
        QCOMPARE(fileSize, QByteArray::number(end));
    }

    // toplat, leftlon, rightlon, bottomlat; the grid's first and last
    // points and its size as ecCodes reads them, for every message.
    void subregion_data()
    {
        QTest::addColumn<QByteArray>("area");
        QTest::addColumn<QList<double>>("grid");  // lat1, lon1, lat2, lon2, Ni, Nj
        using G = QList<double>;
        QTest::newRow("crossing 0°") << QByteArray("60&leftlon=-10.5&rightlon=20&bottomlat=40")
                                     << G{60, 349.5, 40, 20, 123, 81};
        QTest::newRow("crossing 180°") << QByteArray("10&leftlon=170&rightlon=200&bottomlat=-10")
                                       << G{10, 170, -10, 200, 121, 81};
        QTest::newRow("edges between points") << QByteArray("50.1&leftlon=0.1&rightlon=1.1&bottomlat=49.9")
                                              << G{50, 0.25, 50, 1, 4, 1};
        QTest::newRow("wider than the globe") << QByteArray("90&leftlon=0&rightlon=360&bottomlat=-90")
                                              << G{90, 0, -90, 359.75, 1440, 721};
    }

    void subregion()
    {
        QFETCH(QByteArray, area);
        QFETCH(QList<double>, grid);
        const QByteArray target =
            "/cgi-bin/filter_gfs_0p25.pl?dir=%2Fgfs.20261207%2F00%2Fatmos&file=gfs.t00z.pgrb2.0p25.f003"
            "&var_TMP=on&var_UGRD=on&lev_2_m_above_ground=on&subregion=&toplat=" + area;
        const RawAnswer answer = exchange(server->port, get(target));
        QCOMPARE(answer.status, 200);
        const std::vector<Handle> messages = messagesOf(answer.body);
        QCOMPARE(messages.size(), size_t(1));  // UGRD is not at 2 m
        codes_handle* h = messages[0].get();
        QCOMPARE(stringOf(h, "shortName"), QStringLiteral("2t"));
        const char* keys[] = {"latitudeOfFirstGridPointInDegrees", "longitudeOfFirstGridPointInDegrees",
                              "latitudeOfLastGridPointInDegrees", "longitudeOfLastGridPointInDegrees", "Ni", "Nj"};
        for (int k = 0; k < 6; ++k)
            QCOMPARE(doubleOf(h, keys[k]), grid[k]);
    }
};

QTEST_GUILESS_MAIN(TestOpenDataServer)
#include "tst_server_opendata.moc"
