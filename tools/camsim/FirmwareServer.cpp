#include "FirmwareServer.h"

#include "Text.h"

namespace camsim {

TFirmwareServer::TFirmwareServer(TEventLoop& loop, TLoopbackEndpoint endpoint,
                                 const TCatalogue& catalogue, bool verbose)
    : FCatalogue(catalogue), FServer(loop, std::move(endpoint), *this, "server", verbose) {}

std::string TFirmwareServer::BaseUrl() const {
    return "http://" + FServer.Endpoint().Text() + BasePath;
}

THttpResponse TFirmwareServer::Handle(const THttpRequest& request) {
    if (request.Method != "GET" && request.Method != "HEAD") {
        return THttpResponse::Page(405, "Method Not Allowed");
    }
    if (StartsWith(request.Path, BasePath)) {
        const auto found = FCatalogue.Files().find(request.Path.substr(4));
        if (found != FCatalogue.Files().end()) {
            return THttpResponse::Text(200, found->second.ContentType, found->second.Bytes);
        }
    }
    return THttpResponse::Page(404, "404 Not Found");
}

} // namespace camsim
