#pragma once

#include "Catalogue.h"
#include "HttpServer.h"

#include <map>
#include <string>

namespace camsim {

// The firmware server: serves the catalogue's files under /FM/ (GET and HEAD), 404 for
// anything else. Paths are compared exactly, case included. It counts how often each file
// was sent (GET answered 200); GET /camsim/served lists the counts, one "COUNT PATH" line
// per file sent at least once, and the same lines are printed as "served PATH COUNT" at
// the end of the run.
class TFirmwareServer : public THttpHandler {
public:
    TFirmwareServer(TEventLoop& loop, TLoopbackEndpoint endpoint, const TCatalogue& catalogue,
                    bool verbose);

    void Start() { FServer.Listen(); }
    // "http://127.0.0.1:8300/FM/"
    [[nodiscard]] std::string BaseUrl() const;

    [[nodiscard]] THttpResponse Handle(const THttpRequest& request) override;

    static constexpr const char* BasePath = "/FM/";
    static constexpr const char* ServedPath = "/camsim/served";

    // Files sent so far, by path below /FM/.
    [[nodiscard]] const std::map<std::string, unsigned long long>& Served() const {
        return FServed;
    }

private:
    const TCatalogue& FCatalogue;
    std::map<std::string, unsigned long long> FServed;
    THttpServer FServer;
};

} // namespace camsim
