// The forecast provider's names and addresses, the one place client and
// stand-in server take them from.
#ifndef SKYVANE_PROVIDER_H
#define SKYVANE_PROVIDER_H

namespace Provider {
constexpr char webDomain[] = "skyvane.example";
constexpr char webHost[] = "www.skyvane.example";
// The build also reads this line to generate the service code.
constexpr char serviceNamespace[] = "http://www.skyvane.example/toviSoap";
constexpr char defaultServerHost[] = "localhost";
constexpr char signUpPage[] = "http://www.skyvane.example/signup";
constexpr int servicePort = 30080;
}  // namespace Provider

#endif
