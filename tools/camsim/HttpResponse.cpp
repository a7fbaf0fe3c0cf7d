#include "HttpResponse.h"

namespace camsim {

const char* ReasonPhrase(int status) {
    switch (status) {
    case 100: return "Continue";
    case 200: return "OK";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 411: return "Length Required";
    case 413: return "Payload Too Large";
    case 417: return "Expectation Failed";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 503: return "Service Unavailable";
    case 505: return "HTTP Version Not Supported";
    default: return "Unknown";
    }
}

std::string THttpResponse::Serialize() const {
    std::string out = "HTTP/1.1 " + std::to_string(Status) + " " + ReasonPhrase(Status) + "\r\n";
    for (const auto& [name, value] : Headers) {
        out += name + ": " + value + "\r\n";
    }
    out += "Content-Length: " + std::to_string(Body.size()) + "\r\n";
    out += "Connection: close\r\n\r\n";
    if (!HeadOnly) {
        out += Body;
    }
    return out;
}

std::string THttpResponse::TrickleStart() const {
    return "HTTP/1.1 " + std::to_string(Status) + " " + ReasonPhrase(Status) +
           "\r\nX-Upgrade-Progress: ";
}

THttpResponse THttpResponse::Text(int status, std::string contentType, std::string body) {
    THttpResponse response;
    response.Status = status;
    response.Headers.emplace_back("Content-Type", std::move(contentType));
    response.Body = std::move(body);
    return response;
}

THttpResponse THttpResponse::Page(int status, const std::string& message) {
    return Text(status, "text/html",
                "<html><head><title>" + message + "</title></head><body><h1>" + message +
                    "</h1></body></html>\r\n");
}

} // namespace camsim
