// What the client puts on the wire, captured by a raw loopback listener,
// and how it reads answers that the stand-in server would never send.
#include <QRegularExpression>
#include <QtTest>

#include "ForecastServiceClient.h"
#include "Provider.h"
#include "servicefixtures.h"

namespace {

QByteArray httpAnswer(const QByteArray& body, const QByteArray& contentType = "text/xml; charset=utf-8")
{
    return "HTTP/1.1 200 OK\r\nContent-Type: " + contentType + "\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

QByteArray envelope(const QByteArray& body,
                    const QByteArray& envelopeNs = "http://schemas.xmlsoap.org/soap/envelope/")
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><SOAP-ENV:Envelope xmlns:SOAP-ENV=\"" + envelopeNs +
           "\" xmlns:toviSoap=\"" + QByteArray(Provider::serviceNamespace) + "\"><SOAP-ENV:Body>" + body +
           "</SOAP-ENV:Body></SOAP-ENV:Envelope>";
}

QByteArray userOptionsAnswer(const QByteArray& children)
{
    return httpAnswer(envelope("<toviSoap:UserOptionsResponse2>" + children + "</toviSoap:UserOptionsResponse2>"));
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

// The namespace prefixes in the order the envelope declares them.
QStringList declaredPrefixes(const QByteArray& body)
{
    QStringList prefixes;
    static const QRegularExpression declaration(QStringLiteral("xmlns:([A-Za-z-]+)=\"([^\"]*)\""));
    const QString start = QString::fromUtf8(body.left(body.indexOf('>', body.indexOf("<SOAP-ENV:Envelope"))));
    for (auto it = declaration.globalMatch(start); it.hasNext();)
        prefixes << it.next().captured(1);
    return prefixes;
}

ToviForecastParameters sampleParameters()
{
    ToviForecastParameters p;
    p.meteoType = 1 | 2 | 128;
    p.resolution = ToviForecastParameters::grHighResolution;
    p.forecastDay = 1;
    p.forecastTime = 13;
    p.timeStep = 3;
    p.stepsNumber = 16;
    p.top = 52000;
    p.left = -3000;
    p.right = 2000;
    p.bottom = 49000;
    p.zoom = 7;           // never sent
    p.centerLat = 50500000;
    p.centerLon = -500000;
    return p;
}

}  // namespace

class TestServiceWire : public QObject {
    Q_OBJECT

private slots:
    void httpHeadersAndEnvelope_data();
    void httpHeadersAndEnvelope();
    void loginRequestOmitsTheNullKey();
    void forecastRequestFields();
    void resolutionWithoutNameIsANumber();
    void buoyRequestFields();
    void presetRequestFields();
    void userOptionsAnswers_data();
    void userOptionsAnswers();
    void faultFails();
    void inlinePayloadIsRefused();
};

void TestServiceWire::httpHeadersAndEnvelope_data()
{
    QTest::addColumn<QString>("operation");
    QTest::newRow("getUserOptions2") << "getUserOptions2";
    QTest::newRow("getForecastData2") << "getForecastData2";
    QTest::newRow("t3GetData") << "t3GetData";
    QTest::newRow("t2AddPreset") << "t2AddPreset";
}

void TestServiceWire::httpHeadersAndEnvelope()
{
    QFETCH(QString, operation);
    CaptureListener listener(userOptionsAnswer("<userOptions>uoStandard</userOptions>"));
    ForecastServiceClient client;
    const QByteArray endpoint = listener.endpoint;
    int userOptions = 0;
    DimeBuffer* payload = nullptr;
    if (operation == "getUserOptions2")
        client.getUserOptions(endpoint, "demo", "demo", &userOptions);
    else if (operation == "getForecastData2")
        client.getForecastData(endpoint, demoCredentials(), sampleParameters(), &payload);
    else if (operation == "t3GetData")
        client.getBuoyData(endpoint, &payload);
    else
        client.addPreset(endpoint, "demo", "demo", "name=x;", 3);
    QVERIFY(!payload);

    const QList<QByteArray> requests = listener.requests();
    QCOMPARE(requests.size(), 1);
    const Captured c = split(requests.first());
    QCOMPARE(c.requestLine, QByteArray("POST / HTTP/1.1"));
    QCOMPARE(c.headers.value("host"), "127.0.0.1:" + QByteArray::number(listener.port));
    QCOMPARE(c.headers.value("content-type"), QByteArray("text/xml; charset=utf-8"));
    QCOMPARE(c.headers.value("soapaction"), QByteArray("\"\""));
    QCOMPARE(c.headers.value("connection").toLower(), QByteArray("keep-alive"));
    QCOMPARE(c.headers.value("content-length").toLongLong(), qlonglong(c.body.size()));
    QVERIFY(!c.headers.contains("transfer-encoding"));

    QCOMPARE(declaredPrefixes(c.body),
             (QStringList{"SOAP-ENV", "SOAP-ENC", "xsi", "xsd", "toviSoap"}));
    QVERIFY(c.body.contains("xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\""));
    QVERIFY(c.body.contains("xmlns:SOAP-ENC=\"http://schemas.xmlsoap.org/soap/encoding/\""));
    QVERIFY(c.body.contains("xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\""));
    QVERIFY(c.body.contains("xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\""));
    QVERIFY(c.body.contains("xmlns:toviSoap=\"http://www.skyvane.example/toviSoap\""));
    QVERIFY(!c.body.contains("encodingStyle"));
    QVERIFY(!c.body.contains("xsi:type"));
    QVERIFY(!c.body.contains("Header"));
    QVERIFY(c.body.contains("<SOAP-ENV:Body><toviSoap:" + operation.toUtf8() + ">"));
    QVERIFY(c.body.contains("</toviSoap:" + operation.toUtf8() + "></SOAP-ENV:Body></SOAP-ENV:Envelope>"));
    // Only the request element is qualified.
    const QByteArray inner = c.body.mid(c.body.indexOf("<toviSoap:" + operation.toUtf8() + ">") + operation.size() + 11);
    QCOMPARE(inner.count("toviSoap:"), 1);  // its end tag
}

void TestServiceWire::loginRequestOmitsTheNullKey()
{
    CaptureListener listener(userOptionsAnswer("<userOptions>uoStandard</userOptions>"));
    ForecastServiceClient client;
    int userOptions = -5;
    QCOMPARE(client.getUserOptions(listener.endpoint, "sailor", "", &userOptions), 0);
    QCOMPARE(userOptions, 0);
    const Captured c = split(listener.requests().value(0));
    QVERIFY(c.body.contains("<toviSoap:getUserOptions2><credentials><login>sailor</login>"
                            "<password/><userAgent>Skyvane ver. 3.2 MAC</userAgent>"
                            "</credentials></toviSoap:getUserOptions2>"));
    QVERIFY(!c.body.contains("<key"));
}

void TestServiceWire::forecastRequestFields()
{
    CaptureListener listener(userOptionsAnswer(""));
    ForecastServiceClient client;
    ToviCredentials credentials = demoCredentials();
    credentials.password = "pw";
    DimeBuffer* payload = nullptr;
    client.getForecastData(listener.endpoint, credentials, sampleParameters(), &payload);
    const Captured c = split(listener.requests().value(0));
    QVERIFY2(c.body.contains("<toviSoap:getForecastData2>"
                             "<credentials><key/><login>demo</login><password>pw</password>"
                             "<userAgent>Skyvane 3.2</userAgent></credentials>"
                             "<parameters><meteoType>131</meteoType><resolution>grHighResolution</resolution>"
                             "<forecastDay>fdTomorrow</forecastDay><forecastTime>ftTime01pm</forecastTime>"
                             "<timeStep>tsStep3Hours</timeStep><stepsNumber>16</stepsNumber>"
                             "<top>52000</top><left>-3000</left><right>2000</right><bottom>49000</bottom>"
                             "</parameters><nRequestOptions>2</nRequestOptions></toviSoap:getForecastData2>"),
             c.body.constData());
    QVERIFY(!c.body.contains("zoom"));
    QVERIFY(!c.body.contains("center"));
}

void TestServiceWire::resolutionWithoutNameIsANumber()
{
    CaptureListener listener(userOptionsAnswer(""));
    ForecastServiceClient client;
    ToviCredentials credentials;
    ToviForecastParameters p = sampleParameters();
    p.resolution = ToviForecastParameters::GribResolution(0);
    p.timeStep = 2;
    p.forecastTime = 255;
    DimeBuffer* payload = nullptr;
    client.getForecastData(listener.endpoint, credentials, p, &payload);
    const Captured c = split(listener.requests().value(0));
    QVERIFY(c.body.contains("<resolution>0</resolution>"));
    QVERIFY(c.body.contains("<timeStep>2</timeStep>"));
    QVERIFY(c.body.contains("<forecastTime>255</forecastTime>"));
    // Null credentials are left out entirely.
    QVERIFY(c.body.contains("<credentials><userAgent>Skyvane 3.2</userAgent></credentials>"));
}

void TestServiceWire::buoyRequestFields()
{
    CaptureListener listener(userOptionsAnswer(""));
    ForecastServiceClient client;
    DimeBuffer* payload = nullptr;
    client.getBuoyData(listener.endpoint, &payload);
    const Captured c = split(listener.requests().value(0));
    QVERIFY2(c.body.contains("<toviSoap:t3GetData><request><credentials><key/><language>en</language>"
                             "<userAgent>Skyvane 3.2</userAgent></credentials>"
                             "<filter><resourceID>128</resourceID></filter>"
                             "<requestOptions>2</requestOptions></request></toviSoap:t3GetData>"),
             c.body.constData());
}

void TestServiceWire::presetRequestFields()
{
    CaptureListener listener(httpAnswer(envelope("<toviSoap:t3Response><statusCode>0</statusCode></toviSoap:t3Response>")));
    ForecastServiceClient client;
    QCOMPARE(client.addPreset(listener.endpoint, "demo", "demo", "name=Brest & <Channel>;zoom=8;", 14), 0);
    const Captured c = split(listener.requests().value(0));
    QVERIFY2(c.body.contains("<toviSoap:t2AddPreset><credentials><login>demo</login><password>demo</password>"
                             "<userAgent>Skyvane 3.2</userAgent></credentials><presetType>1</presetType>"
                             "<presetData>name=Brest &amp; &lt;Channel&gt;;zoom=8;</presetData>"
                             "<daysActive>14</daysActive></toviSoap:t2AddPreset>"),
             c.body.constData());
}

void TestServiceWire::userOptionsAnswers_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("userOptions");
    QTest::newRow("items in any order, unknown ones skipped")
        << userOptionsAnswer("<extra><nested>1</nested></extra><userOptions>uoSubscriber</userOptions>"
                             "<statusMessage>fine</statusMessage><nStatusCode>7</nStatusCode>")
        << true << 1;
    QTest::newRow("SOAP 1.2 envelope")
        << httpAnswer(envelope("<toviSoap:UserOptionsResponse2><userOptions>uoUnknownUser</userOptions>"
                               "</toviSoap:UserOptionsResponse2>",
                               "http://www.w3.org/2003/05/soap-envelope"))
        << true << -1;
    QTest::newRow("unknown enumeration name") << userOptionsAnswer("<userOptions>uoGold</userOptions>") << false << -1;
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

void TestServiceWire::faultFails()
{
    CaptureListener listener(httpAnswer(envelope(
        "<SOAP-ENV:Fault><faultcode>SOAP-ENV:Client</faultcode><faultstring>No</faultstring></SOAP-ENV:Fault>")));
    ForecastServiceClient client;
    QVERIFY(client.addPreset(listener.endpoint, "a", "b", "x", 1) != 0);
}

void TestServiceWire::inlinePayloadIsRefused()
{
    // Bytes inline as base64 are no attachment of the sink and must not be
    // taken for one.
    CaptureListener listener(httpAnswer(envelope(
        "<toviSoap:ForecastResponse2><nStatusCode>0</nStatusCode>"
        "<gribData>R1JJQgAAHAEAABwCBwAAAAAAAAA=</gribData></toviSoap:ForecastResponse2>")));
    ProgressRecorder recorder;
    DimeBuffer* payload = nullptr;
    int result = -1;
    CallWorker worker(&recorder, [&](QObject* self) {
        ForecastServiceClient client(self);
        ToviCredentials credentials;
        result = client.getForecastData(listener.endpoint, credentials, sampleParameters(), &payload);
    });
    worker.runAndWait();
    QCOMPARE(result, 0);
    QVERIFY(!payload);
    QVERIFY(recorder.calls.isEmpty());
}

QTEST_GUILESS_MAIN(TestServiceWire)
#include "tst_service_wire.moc"
