#pragma once

#include "Catalogue.h"
#include "HttpServer.h"

#include <string>

namespace camsim {

// The firmware server: serves the catalogue's files under /FM/ (GET and HEAD), 404 for
// anything else. Paths are compared exactly, case included.
class TFirmwareServer : public THttpHandler {
public:
    TFirmwareServer(TEventLoop& loop, TLoopbackEndpoint endpoint, const TCatalogue& catalogue,
                    bool verbose);

    void Start() { FServer.Listen(); }
    // "http://127.0.0.1:8300/FM/"
    [[nodiscard]] std::string BaseUrl() const;

    [[nodiscard]] THttpResponse Handle(const THttpRequest& request) override;

    static constexpr const char* BasePath = "/FM/";

private:
    const TCatalogue& FCatalogue;
    THttpServer FServer;
};

} // namespace camsim
