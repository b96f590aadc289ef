// The stand-in server as a process: clean stops, the request record,
// accounts and preset state, faults for bad requests, malformed input,
// and many clients at once.
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <thread>
#include <vector>

#include <sys/time.h>

// Under AddressSanitizer freed memory is held back on purpose, so resident
// memory says nothing about leaks there.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMemoryIsMeaningful = false;
#else
constexpr bool kMemoryIsMeaningful = true;
#endif

#include "ForecastServiceClient.h"
#include "Provider.h"
#include "servicefixtures.h"

namespace {

int connectTo(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(quint16(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        ::close(fd);
        return -1;
    }
    timeval timeout{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
    return fd;
}

// Sends raw bytes and reads the answer until the server closes or stalls.
// With halfClose the client also says it has nothing more to send, as one
// that gives up would; the server then owes it no answer.
QByteArray exchange(int port, const QByteArray& request, bool halfClose = false)
{
    const int fd = connectTo(port);
    if (fd < 0)
        return QByteArray();
    sendAll(fd, request);
    if (halfClose)
        ::shutdown(fd, SHUT_WR);
    QByteArray answer;
    char buffer[65536];
    ssize_t n;
    while ((n = ::recv(fd, buffer, sizeof(buffer), 0)) > 0)
        answer.append(buffer, int(n));
    ::close(fd);
    return answer;
}

QByteArray post(const QByteArray& body)
{
    return "POST / HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: text/xml; charset=utf-8\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\nConnection: close\r\nSOAPAction: \"\"\r\n\r\n" + body;
}

QByteArray envelope(const QByteArray& body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><SOAP-ENV:Envelope "
           "xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" xmlns:toviSoap=\"" +
           QByteArray(Provider::serviceNamespace) + "\"><SOAP-ENV:Body>" + body + "</SOAP-ENV:Body></SOAP-ENV:Envelope>";
}

QByteArray forecastRequest(const QByteArray& parameters, const QByteArray& password = "demo")
{
    return envelope("<toviSoap:getForecastData2><credentials><key></key><login>demo</login><password>" + password +
                    "</password><userAgent>t</userAgent></credentials><parameters>" + parameters +
                    "</parameters><nRequestOptions>2</nRequestOptions></toviSoap:getForecastData2>");
}

const QByteArray kSmallParameters =
    "<meteoType>3</meteoType><resolution>grStandardResolution</resolution><forecastDay>fdToday</forecastDay>"
    "<forecastTime>ftTime06am</forecastTime><timeStep>tsStep3Hours</timeStep><stepsNumber>2</stepsNumber>"
    "<top>10000</top><left>0</left><right>10000</right><bottom>0</bottom>";

bool loginWorks(const QByteArray& endpoint)
{
    ForecastServiceClient client;
    int userOptions = -1;
    return client.getUserOptions(endpoint, "demo", "demo", &userOptions) == 0 && userOptions == 0;
}

QList<QJsonObject> readRecord(const QString& path)
{
    QList<QJsonObject> lines;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return lines;
    for (const QByteArray& line : file.readAll().split('\n'))
        if (!line.isEmpty())
            lines.append(QJsonDocument::fromJson(line).object());
    return lines;
}

ToviForecastParameters smallForecast(int steps)
{
    ToviForecastParameters p;
    p.meteoType = 1 | 2 | 8;
    p.resolution = ToviForecastParameters::grStandardResolution;
    p.forecastTime = 0;
    p.timeStep = 6;
    p.stepsNumber = steps;
    p.top = 50000;
    p.left = -10000;
    p.right = 10000;
    p.bottom = 40000;
    return p;
}

}  // namespace

class TestServiceServer : public QObject {
    Q_OBJECT

private slots:
    void stopsCleanly_data();
    void stopsCleanly();
    void recordsEveryRequest();
    void accountsFile();
    void malformedAccountsFileIsRefused();
    void commandLine_data();
    void commandLine();
    void portInUse();
    void presetsSurviveARestart();
    void badRequestsGetFaults_data();
    void badRequestsGetFaults();
    void survivesMalformedInput();
    void manyClientsAtOnce();
};

void TestServiceServer::stopsCleanly_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<bool>("idleConnection");
    QTest::newRow("SIGINT") << int(SIGINT) << false;
    QTest::newRow("SIGTERM with an idle keep-alive client") << int(SIGTERM) << true;
}

void TestServiceServer::stopsCleanly()
{
    QFETCH(int, signalNumber);
    QFETCH(bool, idleConnection);
    StandInServer server;
    QVERIFY(server.running());
    ForecastServiceClient client;
    int userOptions = -1;
    if (idleConnection)
        QCOMPARE(client.getUserOptions(server.endpoint, "demo", "demo", &userOptions), 0);
    ::kill(pid_t(server.process.processId()), signalNumber);
    QVERIFY(server.process.waitForFinished(5000));
    QCOMPARE(server.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(server.process.exitCode(), 0);
    QVERIFY(server.log().contains("stopped"));
}

void TestServiceServer::recordsEveryRequest()
{
    QTemporaryDir dir;
    const QString record = dir.filePath("record.jsonl");
    StandInServer server({"--record", record});
    ForecastServiceClient client;
    int userOptions = -1;
    QCOMPARE(client.getUserOptions(server.endpoint, "demo", "demo", &userOptions), 0);
    const ToviCredentials credentials = demoCredentials();
    ToviForecastParameters p = smallForecast(3);
    p.forecastDay = 2;
    p.left = -170000;
    p.right = 190000;
    DimeBuffer* payload = nullptr;
    client.getForecastData(server.endpoint, credentials, p, &payload);
    freeDimeBuffer(payload);
    client.getBuoyData(server.endpoint, &payload);
    freeDimeBuffer(payload);
    QCOMPARE(client.addPreset(server.endpoint, "demo", "demo", "name=Home;zoom=3;", 12), 0);
    QCOMPARE(server.stop(), 0);

    const QList<QJsonObject> lines = readRecord(record);
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines[0].value("operation").toString(), QStringLiteral("getUserOptions2"));
    const QJsonObject login = lines[0].value("credentials").toObject();
    QVERIFY(login.value("key").isNull());
    QCOMPARE(login.value("login").toString(), QStringLiteral("demo"));
    QCOMPARE(login.value("userAgent").toString(), QStringLiteral("Skyvane ver. 3.2 MAC"));

    QCOMPARE(lines[1].value("operation").toString(), QStringLiteral("getForecastData2"));
    QCOMPARE(lines[1].value("credentials").toObject().value("key").toString(), QStringLiteral(""));
    QCOMPARE(lines[1].value("nRequestOptions").toInt(), 2);
    const QJsonObject parameters = lines[1].value("parameters").toObject();
    QCOMPARE(parameters.value("meteoType").toInt(), 11);
    QCOMPARE(parameters.value("resolution").toInt(), 1);
    QCOMPARE(parameters.value("forecastDay").toInt(), 2);
    QCOMPARE(parameters.value("timeStep").toInt(), 6);
    QCOMPARE(parameters.value("stepsNumber").toInt(), 3);
    QCOMPARE(parameters.value("top").toInt(), 50000);
    QCOMPARE(parameters.value("left").toInt(), -170000);
    QCOMPARE(parameters.value("right").toInt(), 190000);
    QCOMPARE(parameters.value("bottom").toInt(), 40000);

    QCOMPARE(lines[2].value("operation").toString(), QStringLiteral("t3GetData"));
    const QJsonObject request = lines[2].value("request").toObject();
    QCOMPARE(request.value("filter").toObject().value("resourceID").toInt(), 128);
    QCOMPARE(request.value("requestOptions").toInt(), 2);
    QCOMPARE(request.value("credentials").toObject().value("language").toString(), QStringLiteral("en"));
    QVERIFY(request.value("credentials").toObject().value("reserved").isNull());

    QCOMPARE(lines[3].value("operation").toString(), QStringLiteral("t2AddPreset"));
    QCOMPARE(lines[3].value("presetType").toInt(), 1);
    QCOMPARE(lines[3].value("presetData").toString(), QStringLiteral("name=Home;zoom=3;"));
    QCOMPARE(lines[3].value("daysActive").toInt(), 12);
}

void TestServiceServer::accountsFile()
{
    QTemporaryDir dir;
    const QString accounts = writeFile(dir.filePath("accounts"), "# crew\nskipper:sea:spray\n\nmate:\n");
    StandInServer server({"--accounts", accounts});
    ForecastServiceClient client;
    int userOptions = 0;
    QCOMPARE(client.getUserOptions(server.endpoint, "skipper", "sea:spray", &userOptions), 0);
    QCOMPARE(userOptions, 0);
    QCOMPARE(client.getUserOptions(server.endpoint, "mate", "", &userOptions), 0);
    QCOMPARE(userOptions, 0);
    QCOMPARE(client.getUserOptions(server.endpoint, "demo", "demo", &userOptions), 0);
    QCOMPARE(userOptions, -1);
}

void TestServiceServer::malformedAccountsFileIsRefused()
{
    QTemporaryDir dir;
    const QString accounts = writeFile(dir.filePath("accounts"), "skipper:sea\nno colon here\n");
    StandInServer server({"--accounts", accounts});
    QVERIFY(server.process.state() == QProcess::NotRunning || server.process.waitForFinished(5000));
    QCOMPARE(server.process.exitCode(), 2);
    QVERIFY(server.log().contains(":2: expected login:password"));
}

void TestServiceServer::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("message");
    QTest::newRow("help") << QStringList{"--help"} << 0 << QByteArray();
    QTest::newRow("unknown option") << QStringList{"--colour", "red"} << 2 << QByteArray("unknown option --colour");
    QTest::newRow("missing value") << QStringList{"--record"} << 2 << QByteArray("--record needs a value");
    QTest::newRow("bad port") << QStringList{"--port", "70000"} << 2 << QByteArray("bad port 70000");
    QTest::newRow("bad attachment mode") << QStringList{"--attachment", "broken"} << 2
                                         << QByteArray("bad attachment mode broken");
    QTest::newRow("missing accounts file") << QStringList{"--accounts", "/nonexistent/accounts"} << 2
                                           << QByteArray("cannot read accounts file");
    QTest::newRow("unwritable record") << QStringList{"--record", "/nonexistent/record"} << 2
                                       << QByteArray("cannot open record file");
}

void TestServiceServer::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, message);
    QProcess process;
    process.start(QStringLiteral(SKYVANE_SERVER_PATH), arguments);
    QVERIFY(process.waitForFinished(5000));
    QCOMPARE(process.exitCode(), exitCode);
    if (exitCode == 0)
        QVERIFY(process.readAllStandardOutput().startsWith("Usage: skyvane-forecast-server"));
    else
        QVERIFY(process.readAllStandardError().contains(message));
}

void TestServiceServer::portInUse()
{
    StandInServer first;
    QVERIFY(first.running());
    StandInServer second({"--port", QString::number(first.port)});
    QVERIFY(second.process.state() == QProcess::NotRunning || second.process.waitForFinished(5000));
    QCOMPARE(second.process.exitCode(), 1);
    QVERIFY(second.log().contains("cannot listen on 127.0.0.1:" + QByteArray::number(first.port)));
    QVERIFY(loginWorks(first.endpoint));
}

void TestServiceServer::presetsSurviveARestart()
{
    QTemporaryDir dir;
    const QString state = dir.filePath("state.json");
    {
        StandInServer server({"--state", state});
        ForecastServiceClient client;
        for (int i = 0; i < 5; ++i)
            QCOMPARE(client.addPreset(server.endpoint, "demo", "demo", "name=p;", 30), 0);
        QCOMPARE(server.stop(), 0);
    }
    QFile file(state);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(QJsonDocument::fromJson(file.readAll()).isObject());
    StandInServer server({"--state", state});
    ForecastServiceClient client;
    QVERIFY(client.addPreset(server.endpoint, "demo", "demo", "name=p;", 30) != 0);
}

void TestServiceServer::badRequestsGetFaults_data()
{
    QTest::addColumn<QByteArray>("body");
    QByteArray p = kSmallParameters;
    QTest::newRow("malformed XML") << envelope("<toviSoap:getUserOptions2><credentials><login>demo</lo");
    QTest::newRow("unknown operation") << envelope("<toviSoap:getWaveData/>");
    QTest::newRow("unknown enumeration name")
        << forecastRequest(QByteArray(p).replace("grStandardResolution", "grUltraResolution"));
    QTest::newRow("resolution out of range") << forecastRequest(QByteArray(p).replace("grStandardResolution", "128"));
    QTest::newRow("wrong type") << forecastRequest(QByteArray(p).replace("<top>10000", "<top>north"));
    QTest::newRow("huge number")
        << forecastRequest(QByteArray(p).replace("<stepsNumber>2", "<stepsNumber>99999999999999999999"));
    // Every refusal of the forecast builder becomes a fault the same way.
    QTest::newRow("empty area") << forecastRequest(QByteArray(p).replace("<top>10000", "<top>0"));
    QTest::newRow("bad password") << forecastRequest(p, "guess");
    QTest::newRow("no credentials")
        << envelope("<toviSoap:getForecastData2><parameters>" + p + "</parameters></toviSoap:getForecastData2>");
    QTest::newRow("unknown resource")
        << envelope("<toviSoap:t3GetData><request><filter><resourceID>7</resourceID></filter></request></toviSoap:t3GetData>");
    QTest::newRow("preset without data")
        << envelope("<toviSoap:t2AddPreset><credentials><login>demo</login><password>demo</password></credentials>"
                    "<presetType>1</presetType><daysActive>3</daysActive></toviSoap:t2AddPreset>");
    QTest::newRow("preset for more than 30 days")
        << envelope("<toviSoap:t2AddPreset><credentials><login>demo</login><password>demo</password></credentials>"
                    "<presetType>1</presetType><presetData>name=p;</presetData><daysActive>31</daysActive>"
                    "</toviSoap:t2AddPreset>");
}

void TestServiceServer::badRequestsGetFaults()
{
    QFETCH(QByteArray, body);
    static StandInServer* server = nullptr;
    if (!server)
        server = new StandInServer;  // one server for all rows; it must keep serving
    QVERIFY(server->running());
    const QByteArray answer = exchange(server->port, post(body));
    QVERIFY2(answer.startsWith("HTTP/1.1 500") || answer.startsWith("HTTP/1.1 400"), answer.left(200).constData());
    QVERIFY(answer.contains("SOAP-ENV:Fault"));
    QVERIFY(loginWorks(server->endpoint));
}

void TestServiceServer::survivesMalformedInput()
{
    StandInServer server;
    QRandomGenerator random(20261206);
    const QByteArray valid = post(forecastRequest(kSmallParameters));
    int answered = 0;
    for (int i = 0; i < 300; ++i) {
        QByteArray request = valid;
        switch (i % 6) {
        case 0:  // cut anywhere, header included
            request.truncate(random.bounded(int(request.size())));
            break;
        case 1:  // a few random bytes changed
            for (int k = 0; k < 1 + random.bounded(8); ++k)
                request[random.bounded(int(request.size()))] = char(random.bounded(256));
            break;
        case 2: {  // a number somewhere replaced by something far too large or not a number
            static const char* junk[] = {"99999999999999999999999", "-", "1e309", "0x7fffffff", "", "&#0;"};
            const qsizetype at = request.indexOf("<top>") + 5;
            request.replace(at, 5, junk[random.bounded(6)]);
            request.replace(request.indexOf("Content-Length: "), 20, "Content-Length: " + QByteArray::number(request.size() - request.indexOf("\r\n\r\n") - 4).leftJustified(4));
            break;
        }
        case 3:  // a Content-Length that lies
            request.replace("Content-Length: ", "Content-Length: " + QByteArray::number(random.bounded(1 << 30)) + "0");
            break;
        case 4: {  // deep nesting inside the parameters
            QByteArray nest;
            for (int k = 0; k < 2000; ++k)
                nest += "<a>";
            request = post(forecastRequest(nest + kSmallParameters));
            break;
        }
        default:  // binary garbage
            request.resize(1 + random.bounded(4096));
            for (char& c : request)
                c = char(random.bounded(256));
            break;
        }
        if (!exchange(server.port, request, true).isEmpty())
            ++answered;
        QVERIFY2(server.running(), qPrintable(QStringLiteral("after input %1").arg(i)));
    }
    QVERIFY(answered > 0);
    // A body that is no XML at all just ends the connection.
    QVERIFY(exchange(server.port, post("GRIB\x01\x02\x03 hello")).isEmpty());
    QVERIFY(loginWorks(server.endpoint));
    QCOMPARE(server.stop(), 0);
}

void TestServiceServer::manyClientsAtOnce()
{
    QTemporaryDir dir;
    const int clients = 16;
    QByteArray lines;
    for (int c = 0; c < clients; ++c)
        lines += "user" + QByteArray::number(c) + ":pw\n";
    StandInServer server({"--accounts", writeFile(dir.filePath("accounts"), lines)});
    QVERIFY(server.running());

    // Each client: logins right and wrong, forecasts of 1 to 4 steps, the
    // buoy document and presets, on one kept-alive connection.
    auto round = [&](int presetsSoFar) {
        std::vector<int> failures(clients, 0);
        std::vector<std::thread> threads;
        for (int c = 0; c < clients; ++c) {
            threads.emplace_back([&, c] {
                ForecastServiceClient client;
                const QByteArray login = "user" + QByteArray::number(c);
                ToviCredentials credentials;
                credentials.key = "";
                credentials.login = login.constData();
                credentials.password = "pw";
                for (int i = 0; i < 24; ++i) {
                    int userOptions = 0;
                    DimeBuffer* payload = nullptr;
                    bool ok = false;
                    switch (i % 4) {
                    case 0:
                        ok = client.getUserOptions(server.endpoint, login, i % 8 ? "pw" : "x", &userOptions) == 0 &&
                             (userOptions >= 0) == bool(i % 8);
                        break;
                    case 1:
                        ok = client.getForecastData(server.endpoint, credentials, smallForecast(1 + (i + c) % 4), &payload) == 0 &&
                             !payload;  // no sink installed: nothing counts as delivered
                        break;
                    case 2:
                        ok = client.getBuoyData(server.endpoint, &payload) == 0;
                        break;
                    default: {
                        const int n = presetsSoFar + i / 4;
                        ok = (client.addPreset(server.endpoint, login, "pw", "name=x;", 2) == 0) == (n < 5);
                        break;
                    }
                    }
                    freeDimeBuffer(payload);
                    if (!ok)
                        ++failures[size_t(c)];
                }
            });
        }
        for (std::thread& t : threads)
            t.join();
        int total = 0;
        for (int f : failures)
            total += f;
        return total;
    };
    QCOMPARE(round(0), 0);
    const long afterFirst = server.residentKb();
    QCOMPARE(round(6), 0);
    QCOMPARE(round(12), 0);
    const long afterThird = server.residentKb();
    qInfo("server resident memory: %ld kB after the first round, %ld kB after the third", afterFirst, afterThird);
    QVERIFY(afterFirst > 0);
    if (kMemoryIsMeaningful)
        QVERIFY2(afterThird - afterFirst < 16 * 1024, "server memory grows with the calls");
    QCOMPARE(server.stop(), 0);
}

QTEST_GUILESS_MAIN(TestServiceServer)
#include "tst_service_server.moc"
