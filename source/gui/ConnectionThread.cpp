#include "ConnectionThread.h"

#include "ForecastServiceClient.h"
#include "SettingsFactory.h"

namespace {
const int kConnectLimitSeconds = 15;
const int kAnswerLimitSeconds = 60;
}  // namespace

void ConnectionThread::run()
{
    const QByteArray password = SettingsFactory::password().toLocal8Bit();
    const QByteArray login = SettingsFactory::login().toLocal8Bit();
    const QByteArray server = SettingsFactory::server().toLocal8Bit();
    if (password.isEmpty() || login.isEmpty())
        return;
    // Created and torn down here, so an abandoned worker closes its
    // connection on its own thread once the call has ended.
    ForecastServiceClient client;
    // A login answer is small: a server that stays silent this long is not
    // going to answer, and an abandoned worker must end.
    client.setTimeLimits(kConnectLimitSeconds, kAnswerLimitSeconds);
    int userOptions = -1;
    if (client.getUserOptions(server.constData(), login.constData(), password.constData(), &userOptions) == 0)
        result_.store(userOptions);
}
