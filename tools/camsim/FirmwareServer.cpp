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
    if (request.Path == ServedPath) {
        std::string list;
        for (const auto& [path, count] : FServed) {
            list += std::to_string(count) + " " + path + "\n";
        }
        return THttpResponse::Text(200, "text/plain", list);
    }
    if (StartsWith(request.Path, BasePath)) {
        const std::string path = request.Path.substr(4);
        const auto found = FCatalogue.Files().find(path);
        if (found != FCatalogue.Files().end()) {
            if (request.Method == "GET") {
                ++FServed[path];
            }
            return THttpResponse::Text(200, found->second.ContentType, found->second.Bytes);
        }
    }
    return THttpResponse::Page(404, "404 Not Found");
}

} // namespace camsim
