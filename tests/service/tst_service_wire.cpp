// What the client puts on the wire, captured by a raw loopback listener,
// and how it reads answers that the stand-in server would never send.
#include <QtTest>

#include <functional>

#include "ForecastServiceClient.h"
#include "servicefixtures.h"

using Call = std::function<void(ForecastServiceClient& client, const char* endpoint)>;
Q_DECLARE_METATYPE(Call)

namespace {

QByteArray httpAnswer(const QByteArray& body)
{
    return "HTTP/1.1 200 OK\r\nContent-Type: text/xml; charset=utf-8\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

QByteArray userOptionsAnswer(const QByteArray& children)
{
    return httpAnswer(soapEnvelope("<toviSoap:UserOptionsResponse2>" + children + "</toviSoap:UserOptionsResponse2>"));
}

struct Captured {
    QByteArray requestLine;
    QMap<QByteArray, QByteArray> headers;  // lower-case names
    QByteArray body;
};

Captured split(const QByteArray& request)
{
    Captured c;
    const qsizetype end = request.indexOf("\r\n\r\n");
    const QList<QByteArray> lines = request.left(end).split('\n');
    c.requestLine = lines.value(0).trimmed();
    for (int i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        c.headers.insert(lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed());
    }
    c.body = request.mid(end + 4);
    return c;
}

ToviForecastParameters sampleParameters()
{
    // The last three, zoom and map centre, belong to presets: never sent.
    return {1 | 2 | 128, ToviForecastParameters::grHighResolution, 1, 13, 3, 16, 52000, -3000, 2000, 49000,
            7, 50500000, -500000};
}

Call forecastCall(const ToviCredentials& credentials, const ToviForecastParameters& parameters)
{
    return [=](ForecastServiceClient& client, const char* endpoint) {
        DimeBuffer* payload = nullptr;
        client.getForecastData(endpoint, credentials, parameters, &payload);
        freeDimeBuffer(payload);
    };
}

// The envelope as the runtime writes it: its namespaces in this order, no
// header, no encoding style.
const QByteArray kEnvelopeStart =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "xmlns:SOAP-ENC=\"http://schemas.xmlsoap.org/soap/encoding/\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
    "xmlns:toviSoap=\"http://www.skyvane.example/toviSoap\"><SOAP-ENV:Body>";
const QByteArray kEnvelopeEnd = "</SOAP-ENV:Body></SOAP-ENV:Envelope>";

}  // namespace

class TestServiceWire : public QObject {
    Q_OBJECT

private slots:
    void requests_data();
    void requests();
    void userOptionsAnswers_data();
    void userOptionsAnswers();
    void inlinePayloadIsRefused();
};

// Each call's HTTP headers and its whole body: only the request element
// qualified, no types, null strings left out, text escaped.
void TestServiceWire::requests_data()
{
    QTest::addColumn<Call>("call");
    QTest::addColumn<QByteArray>("element");
    QTest::newRow("login, without a key")
        << Call([](ForecastServiceClient& client, const char* endpoint) {
               int userOptions = 0;
               client.getUserOptions(endpoint, "sailor", "", &userOptions);
           })
        << QByteArray("<toviSoap:getUserOptions2><credentials><login>sailor</login><password/>"
                      "<userAgent>Skyvane ver. 3.2 MAC</userAgent></credentials></toviSoap:getUserOptions2>");
    ToviCredentials account = demoCredentials();
    account.password = "pw";
    QTest::newRow("forecast")
        << forecastCall(account, sampleParameters())
        << QByteArray("<toviSoap:getForecastData2><credentials><key/><login>demo</login><password>pw</password>"
                      "<userAgent>Skyvane 3.2</userAgent></credentials>"
                      "<parameters><meteoType>131</meteoType><resolution>grHighResolution</resolution>"
                      "<forecastDay>fdTomorrow</forecastDay><forecastTime>ftTime01pm</forecastTime>"
                      "<timeStep>tsStep3Hours</timeStep><stepsNumber>16</stepsNumber>"
                      "<top>52000</top><left>-3000</left><right>2000</right><bottom>49000</bottom>"
                      "</parameters><nRequestOptions>2</nRequestOptions></toviSoap:getForecastData2>");
    // Values without an enumeration name go as numbers; null credentials
    // leave only the user agent.
    ToviForecastParameters unnamed = sampleParameters();
    unnamed.resolution = ToviForecastParameters::GribResolution(0);
    unnamed.timeStep = 2;
    unnamed.forecastTime = 255;
    QTest::newRow("forecast, unnamed values")
        << forecastCall(ToviCredentials(), unnamed)
        << QByteArray("<toviSoap:getForecastData2><credentials><userAgent>Skyvane 3.2</userAgent></credentials>"
                      "<parameters><meteoType>131</meteoType><resolution>0</resolution>"
                      "<forecastDay>fdTomorrow</forecastDay><forecastTime>255</forecastTime>"
                      "<timeStep>2</timeStep><stepsNumber>16</stepsNumber>"
                      "<top>52000</top><left>-3000</left><right>2000</right><bottom>49000</bottom>"
                      "</parameters><nRequestOptions>2</nRequestOptions></toviSoap:getForecastData2>");
    QTest::newRow("buoys")
        << Call([](ForecastServiceClient& client, const char* endpoint) {
               DimeBuffer* payload = nullptr;
               client.getBuoyData(endpoint, &payload);
               freeDimeBuffer(payload);
           })
        << QByteArray("<toviSoap:t3GetData><request><credentials><key/><language>en</language>"
                      "<userAgent>Skyvane 3.2</userAgent></credentials>"
                      "<filter><resourceID>128</resourceID></filter>"
                      "<requestOptions>2</requestOptions></request></toviSoap:t3GetData>");
    QTest::newRow("preset")
        << Call([](ForecastServiceClient& client, const char* endpoint) {
               client.addPreset(endpoint, "demo", "demo", "name=Brest & <Channel>;zoom=8;", 14);
           })
        << QByteArray("<toviSoap:t2AddPreset><credentials><login>demo</login><password>demo</password>"
                      "<userAgent>Skyvane 3.2</userAgent></credentials><presetType>1</presetType>"
                      "<presetData>name=Brest &amp; &lt;Channel&gt;;zoom=8;</presetData>"
                      "<daysActive>14</daysActive></toviSoap:t2AddPreset>");
}

void TestServiceWire::requests()
{
    QFETCH(Call, call);
    QFETCH(QByteArray, element);
    CaptureListener listener(userOptionsAnswer("<userOptions>uoStandard</userOptions>"));
    {
        ForecastServiceClient client;
        call(client, listener.endpoint.constData());
    }
    const QList<QByteArray> requests = listener.requests();
    QCOMPARE(requests.size(), 1);
    const Captured c = split(requests.first());
    QCOMPARE((QList<QByteArray>{c.requestLine, c.headers.value("host"), c.headers.value("content-type"),
                                c.headers.value("soapaction"), c.headers.value("connection").toLower(),
                                c.headers.value("content-length")}),
             (QList<QByteArray>{"POST / HTTP/1.1", "127.0.0.1:" + QByteArray::number(listener.port),
                                "text/xml; charset=utf-8", "\"\"", "keep-alive", QByteArray::number(c.body.size())}));
    QVERIFY(!c.headers.contains("transfer-encoding"));
    QCOMPARE(c.body.trimmed(), kEnvelopeStart + element + kEnvelopeEnd);
}

void TestServiceWire::userOptionsAnswers_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("userOptions");
    QTest::newRow("standard") << userOptionsAnswer("<userOptions>uoStandard</userOptions>") << true << 0;
    QTest::newRow("items in any order, unknown ones skipped")
        << userOptionsAnswer("<extra><nested>1</nested></extra><userOptions>uoSubscriber</userOptions>"
                             "<statusMessage>fine</statusMessage><nStatusCode>7</nStatusCode>")
        << true << 1;
    QTest::newRow("SOAP 1.2 envelope")
        << httpAnswer(soapEnvelope("<toviSoap:UserOptionsResponse2><userOptions>uoUnknownUser</userOptions>"
                                   "</toviSoap:UserOptionsResponse2>",
                                   "http://www.w3.org/2003/05/soap-envelope"))
        << true << -1;
    // Numbers are taken as they are, named or not: only their sign counts.
    for (const QByteArray number : {"0", "2", "17", "-1", "-3"})
        QTest::newRow(number) << userOptionsAnswer("<userOptions>" + number + "</userOptions>") << true << number.toInt();
    QTest::newRow("unknown enumeration name") << userOptionsAnswer("<userOptions>uoGold</userOptions>") << false << -1;
    QTest::newRow("not a number") << userOptionsAnswer("<userOptions>2x</userOptions>") << false << -1;
    QTest::newRow("beyond int") << userOptionsAnswer("<userOptions>4294967296</userOptions>") << false << -1;
    QTest::newRow("truncated") << userOptionsAnswer("<userOptions>uoStandard</userOptions>").chopped(40) << false
                               << -1;
}

void TestServiceWire::userOptionsAnswers()
{
    QFETCH(QByteArray, answer);
    QFETCH(bool, accepted);
    QFETCH(int, userOptions);
    CaptureListener listener(answer);
    ForecastServiceClient client;
    int got = -5;
    QCOMPARE(client.getUserOptions(listener.endpoint, "a", "b", &got) == 0, accepted);
    QCOMPARE(got, userOptions);
}

void TestServiceWire::inlinePayloadIsRefused()
{
    // Bytes inline as base64 are no attachment of the sink and must not be
    // taken for one.
    CaptureListener listener(httpAnswer(soapEnvelope(
        "<toviSoap:ForecastResponse2><nStatusCode>0</nStatusCode>"
        "<gribData>R1JJQgAAHAEAABwCBwAAAAAAAAA=</gribData></toviSoap:ForecastResponse2>")));
    ProgressRecorder recorder;
    DimeBuffer* payload = nullptr;
    int result = -1;
    CallWorker worker(&recorder, [&](QObject* self) {
        ForecastServiceClient client(self);
        result = client.getForecastData(listener.endpoint, ToviCredentials(), sampleParameters(), &payload);
    });
    worker.runAndWait();
    QCOMPARE(result, 0);
    QVERIFY(!payload);
    QVERIFY(recorder.calls.isEmpty());
}

QTEST_GUILESS_MAIN(TestServiceWire)
#include "tst_service_wire.moc"
