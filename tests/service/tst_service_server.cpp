// The stand-in server as a process: clean stops, the request record,
// accounts and preset state, faults for bad requests, malformed input,
// slow clients cut off, and many clients at once.
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <csignal>
#include <memory>
#include <thread>
#include <vector>

#include <poll.h>
#include <sys/time.h>

#include "ForecastServiceClient.h"
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

QByteArray forecastRequest(const QByteArray& parameters, const QByteArray& password = "demo")
{
    return soapEnvelope("<toviSoap:getForecastData2><credentials><key></key><login>demo</login><password>" + password +
                    "</password><userAgent>t</userAgent></credentials><parameters>" + parameters +
                    "</parameters><nRequestOptions>2</nRequestOptions></toviSoap:getForecastData2>");
}

const QByteArray kSmallParameters =
    "<meteoType>3</meteoType><resolution>grStandardResolution</resolution><forecastDay>fdToday</forecastDay>"
    "<forecastTime>ftTime06am</forecastTime><timeStep>tsStep3Hours</timeStep><stepsNumber>2</stepsNumber>"
    "<top>10000</top><left>0</left><right>10000</right><bottom>0</bottom>";

// timeLimitSeconds 0: waits as long as the server takes.
bool loginWorks(const QByteArray& endpoint, int timeLimitSeconds = 0)
{
    ForecastServiceClient client;
    client.setTimeLimits(timeLimitSeconds, timeLimitSeconds);
    int userOptions = -1;
    return client.getUserOptions(endpoint, "demo", "demo", &userOptions) == 0 && userOptions == 0;
}

// Sends bytes one a second until the server ends the connection (true),
// answers or the bytes run out.
bool trickleUntilCut(int port, const QByteArray& bytes)
{
    const int fd = connectTo(port);
    bool cut = false;
    bool answered = fd < 0;
    for (qsizetype i = 0; i < bytes.size() && !cut && !answered; ++i) {
        pollfd readable{fd, POLLIN, 0};
        cut = ::send(fd, bytes.constData() + i, 1, MSG_NOSIGNAL) != 1;
        if (!cut && ::poll(&readable, 1, 1000) > 0) {
            char c;
            answered = ::recv(fd, &c, 1, 0) > 0;
            cut = !answered;
        }
    }
    ::close(fd);
    return cut;
}

// Wind, pressure and temperature over Biscay, six hours apart.
ToviForecastParameters smallForecast(int steps)
{
    return {1 | 2 | 8, ToviForecastParameters::grStandardResolution, 0, 0, 6, steps, 50000, -10000, 10000, 40000};
}

}  // namespace

class TestServiceServer : public QObject {
    Q_OBJECT

    std::unique_ptr<StandInServer> faultServer;  // one for all bad requests; it must keep serving

private slots:
    void stopsCleanly();
    void recordsEveryRequest();
    void logins_data();
    void logins();
    void commandLine_data();
    void commandLine();
    void portInUse();
    void presetsSurviveARestart();
    void badRequestsGetFaults_data();
    void badRequestsGetFaults();
    void survivesMalformedInput();
    void slowClientsAreCutOff_data();
    void slowClientsAreCutOff();
    void manyClientsAtOnce();
};

// SIGTERM ends every server of these tests (StandInServer::stop); SIGINT
// does the same, with a keep-alive client idle on its connection.
void TestServiceServer::stopsCleanly()
{
    StandInServer server;
    ForecastServiceClient client;
    int userOptions = -1;
    QCOMPARE(client.getUserOptions(server.endpoint, "demo", "demo", &userOptions), 0);
    ::kill(pid_t(server.process.processId()), SIGINT);
    QVERIFY(server.process.waitForFinished(5000));
    QCOMPARE(server.stop(), 0);  // the exit code of a normal exit
    QVERIFY(server.log().contains("stopped"));
}

// The record holds each request as the server read it off the wire.
void TestServiceServer::recordsEveryRequest()
{
    QTemporaryDir dir;
    const QString record = dir.filePath("record.jsonl");
    StandInServer server({"--record", record});
    ForecastServiceClient client;
    int userOptions = -1;
    QCOMPARE(client.getUserOptions(server.endpoint, "demo", "demo", &userOptions), 0);
    ToviForecastParameters p = smallForecast(3);
    p.forecastDay = 2;
    p.left = -170000;
    p.right = 190000;
    DimeBuffer* payload = nullptr;
    client.getForecastData(server.endpoint, demoCredentials(), p, &payload);
    freeDimeBuffer(payload);
    client.getBuoyData(server.endpoint, &payload);
    freeDimeBuffer(payload);
    QCOMPARE(client.addPreset(server.endpoint, "demo", "demo", "name=Home;zoom=3;", 12), 0);
    QCOMPARE(server.stop(), 0);

    auto demo = [](const QJsonValue& key, const char* userAgent) {
        return QJsonObject{{"key", key}, {"login", "demo"}, {"password", "demo"}, {"userAgent", userAgent}};
    };
    const QJsonObject expected[] = {
        {{"operation", "getUserOptions2"}, {"credentials", demo(QJsonValue::Null, "Skyvane ver. 3.2 MAC")}},
        {{"operation", "getForecastData2"}, {"credentials", demo("", "Skyvane 3.2")}, {"nRequestOptions", 2},
         {"parameters", QJsonObject{{"meteoType", 11}, {"resolution", 1}, {"forecastDay", 2}, {"forecastTime", 0},
                                    {"timeStep", 6}, {"stepsNumber", 3}, {"top", 50000}, {"left", -170000},
                                    {"right", 190000}, {"bottom", 40000}}}},
        {{"operation", "t3GetData"},
         {"request", QJsonObject{{"requestOptions", 2}, {"filter", QJsonObject{{"resourceID", 128}}},
                                 {"credentials", QJsonObject{{"key", ""}, {"language", "en"},
                                                             {"userAgent", "Skyvane 3.2"},
                                                             {"reserved", QJsonValue::Null}}}}}},
        {{"operation", "t2AddPreset"}, {"credentials", demo(QJsonValue::Null, "Skyvane 3.2")}, {"presetType", 1},
         {"presetData", "name=Home;zoom=3;"}, {"daysActive", 12}},
    };
    QFile file(record);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().trimmed().split('\n');
    QCOMPARE(lines.size(), 4);
    for (int i = 0; i < 4; ++i)
        QCOMPARE(QJsonDocument::fromJson(lines[i]).toJson(QJsonDocument::Compact),
                 QJsonDocument(expected[i]).toJson(QJsonDocument::Compact));
}

// Who may log in: the demo account by default, or the accounts of a file
// (login:password, the password taking every colon after the first).
void TestServiceServer::logins_data()
{
    QTest::addColumn<QByteArray>("accounts");  // empty: no accounts file
    QTest::addColumn<QByteArray>("login");
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<int>("userOptions");
    const QByteArray file = "# crew\nskipper:sea:spray\n\nmate:\n";
    QTest::newRow("demo") << QByteArray() << QByteArray("demo") << QByteArray("demo") << 0;
    QTest::newRow("wrong password") << QByteArray() << QByteArray("demo") << QByteArray("Demo") << -1;
    QTest::newRow("unknown login") << QByteArray() << QByteArray("skipper") << QByteArray("demo") << -1;
    QTest::newRow("empty") << QByteArray() << QByteArray("") << QByteArray("") << -1;
    QTest::newRow("password with a colon") << file << QByteArray("skipper") << QByteArray("sea:spray") << 0;
    QTest::newRow("empty password") << file << QByteArray("mate") << QByteArray("") << 0;
    QTest::newRow("demo not in the file") << file << QByteArray("demo") << QByteArray("demo") << -1;
}

void TestServiceServer::logins()
{
    QFETCH(QByteArray, accounts);
    QFETCH(QByteArray, login);
    QFETCH(QByteArray, password);
    QFETCH(int, userOptions);
    QTemporaryDir dir;
    StandInServer server(accounts.isEmpty() ? QStringList()
                                            : QStringList{"--accounts", writeFile(dir.filePath("accounts"), accounts)});
    QVERIFY(server.running());
    ForecastServiceClient client;
    int got = 99;
    QCOMPARE(client.getUserOptions(server.endpoint, login, password, &got), 0);
    QCOMPARE(got, userOptions);
}

// Refusals to start, and the usage text.
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
    QTest::newRow("malformed accounts file") << QStringList{"--accounts", "@malformed"} << 2
                                             << QByteArray(":2: expected login:password");
    QTest::newRow("bad receive limit") << QStringList{"--receive-limit", "0"} << 2 << QByteArray("bad receive limit 0");
    QTest::newRow("unwritable record") << QStringList{"--record", "/nonexistent/record"} << 2
                                       << QByteArray("cannot open record file");
}

void TestServiceServer::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, message);
    QTemporaryDir dir;
    arguments.replaceInStrings("@malformed", writeFile(dir.filePath("accounts"), "skipper:sea\nno colon here\n"));
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
    StandInServer server({"--state", state});
    ForecastServiceClient client;
    QVERIFY(client.addPreset(server.endpoint, "demo", "demo", "name=p;", 30) != 0);
}

void TestServiceServer::badRequestsGetFaults_data()
{
    QTest::addColumn<QByteArray>("body");
    QByteArray p = kSmallParameters;
    QTest::newRow("malformed XML") << soapEnvelope("<toviSoap:getUserOptions2><credentials><login>demo</lo");
    QTest::newRow("unknown operation") << soapEnvelope("<toviSoap:getWaveData/>");
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
        << soapEnvelope("<toviSoap:getForecastData2><parameters>" + p + "</parameters></toviSoap:getForecastData2>");
    QTest::newRow("unknown resource")
        << soapEnvelope("<toviSoap:t3GetData><request><filter><resourceID>7</resourceID></filter></request></toviSoap:t3GetData>");
    // Bodies that are no complete envelope: answered once the declared
    // length has arrived, while the client keeps its end open.
    QTest::newRow("other element") << QByteArray("<x/>");
    QTest::newRow("text") << QByteArray("garbage");
    QTest::newRow("unfinished tag") << QByteArray("<not xml");
    QTest::newRow("binary") << QByteArray("GRIB\x01\x02\x03 hello");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("preset without data")
        << soapEnvelope("<toviSoap:t2AddPreset><credentials><login>demo</login><password>demo</password></credentials>"
                    "<presetType>1</presetType><daysActive>3</daysActive></toviSoap:t2AddPreset>");
    QTest::newRow("preset for more than 30 days")
        << soapEnvelope("<toviSoap:t2AddPreset><credentials><login>demo</login><password>demo</password></credentials>"
                    "<presetType>1</presetType><presetData>name=p;</presetData><daysActive>31</daysActive>"
                    "</toviSoap:t2AddPreset>");
}

void TestServiceServer::badRequestsGetFaults()
{
    QFETCH(QByteArray, body);
    if (!faultServer)
        faultServer = std::make_unique<StandInServer>();
    QVERIFY(faultServer->running());
    const QByteArray answer = exchange(faultServer->port, post(body));
    QVERIFY2(answer.startsWith("HTTP/1.1 500") || answer.startsWith("HTTP/1.1 400"), answer.left(200).constData());
    QVERIFY(answer.contains("SOAP-ENV:Fault"));
    QVERIFY(loginWorks(faultServer->endpoint));
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
        case 4:  // deep nesting inside the parameters
            request = post(forecastRequest(QByteArray("<a>").repeated(2000) + kSmallParameters));
            break;
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
    QVERIFY(loginWorks(server.endpoint));
    QCOMPARE(server.stop(), 0);
}

// Clients that hold a connection without completing a request are cut off
// after the receive limit, and meanwhile a good client is served, at once
// or once a connection is free.
void TestServiceServer::slowClientsAreCutOff_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("idleClients");
    QTest::addColumn<QByteArray>("trickled");  // sent one byte a second
    QTest::newRow("idle") << QStringList() << 200 << QByteArray();
    QTest::newRow("one byte a second") << QStringList() << 0 << post(soapEnvelope("<toviSoap:getUserOptions2/>"));
    QTest::newRow("more than may be served") << QStringList{"--max-connections", "2"} << 4 << QByteArray();
}

void TestServiceServer::slowClientsAreCutOff()
{
    QFETCH(QStringList, options);
    QFETCH(int, idleClients);
    QFETCH(QByteArray, trickled);
    StandInServer server(QStringList{"--receive-limit", "1"} + options);
    QVERIFY(server.running());
    std::vector<int> idle;
    for (int i = 0; i < idleClients; ++i)
        idle.push_back(connectTo(server.port));
    bool trickleCut = trickled.isEmpty();
    std::thread trickler([&] { trickleCut = trickleCut || trickleUntilCut(server.port, trickled.left(15)); });
    const bool served = loginWorks(server.endpoint, 30);
    trickler.join();
    QVERIFY(served);
    QVERIFY(trickleCut);
    char byte;
    for (int fd : idle) {
        QCOMPARE(::recv(fd, &byte, 1, 0), 0);  // closed by the server before the client's 5 s
        ::close(fd);
    }
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
    // buoy document and presets (five per account), on one kept-alive
    // connection.  Odd clients take attachments through a sink; without one
    // nothing counts as delivered.
    auto round = [&](int presetsSoFar) {
        std::atomic<int> failures{0};
        std::vector<std::thread> threads;
        for (int c = 0; c < clients; ++c) {
            threads.emplace_back([&, c] {
                QObject worker;
                const bool sink = c % 2;
                ForecastServiceClient client(sink ? &worker : nullptr);
                const QByteArray login = "user" + QByteArray::number(c);
                const ToviCredentials credentials{"", login.constData(), "pw"};
                const char* endpoint = server.endpoint.constData();
                for (int i = 0; i < 24; ++i) {
                    int userOptions = 0;
                    DimeBuffer* payload = nullptr;
                    const bool ok =
                        i % 4 == 0   ? client.getUserOptions(endpoint, login, i % 8 ? "pw" : "x", &userOptions) == 0 &&
                                         (userOptions >= 0) == bool(i % 8)
                        : i % 4 == 1 ? client.getForecastData(endpoint, credentials, smallForecast(1 + (i + c) % 4),
                                                              &payload) == 0 && bool(payload) == sink
                        : i % 4 == 2 ? client.getBuoyData(endpoint, &payload) == 0 && bool(payload) == sink
                                     : (client.addPreset(endpoint, login, "pw", "name=x;", 2) == 0) ==
                                           (presetsSoFar + i / 4 < 5);
                    freeDimeBuffer(payload);
                    failures += !ok;
                }
            });
        }
        for (std::thread& t : threads)
            t.join();
        return failures.load();
    };
    QCOMPARE(round(0), 0);
    const long afterFirst = server.residentKb();
    QVERIFY(afterFirst > 0);
    QCOMPARE(round(6), 0);
    QCOMPARE(round(12), 0);
#if !defined(__SANITIZE_ADDRESS__)  // which holds freed memory back on purpose
    const long afterThird = server.residentKb();
    QVERIFY2(afterThird - afterFirst < 16 * 1024,
             qPrintable(QStringLiteral("%1 kB, then %2 kB").arg(afterFirst).arg(afterThird)));
#endif
    QCOMPARE(server.stop(), 0);
}

QTEST_GUILESS_MAIN(TestServiceServer)
#include "tst_service_server.moc"
