#include "HttpRequest.h"

#include "Text.h"

namespace camsim {

std::optional<std::string> THttpRequest::Header(std::string_view name) const {
    for (const auto& [key, value] : Headers) {
        if (IEquals(key, name)) {
            return value;
        }
    }
    return std::nullopt;
}

std::optional<std::string> THttpRequest::QueryValue(std::string_view name) const {
    for (const std::string& pair : Split(Query, '&')) {
        const std::size_t equals = pair.find('=');
        const std::string key = pair.substr(0, equals);
        if (key == name) {
            return equals == std::string::npos ? std::string() : pair.substr(equals + 1);
        }
    }
    return std::nullopt;
}

std::optional<std::string> THttpRequest::DecodedQueryValue(std::string_view name) const {
    const std::optional<std::string> value = QueryValue(name);
    if (!value) {
        return std::nullopt;
    }
    const auto hex = [](char c) {
        return c >= '0' && c <= '9'   ? c - '0'
               : c >= 'a' && c <= 'f' ? c - 'a' + 10
               : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                      : -1;
    };
    std::string out;
    const std::string& v = *value;
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (v[i] == '%' && i + 2 < v.size() && hex(v[i + 1]) >= 0 && hex(v[i + 2]) >= 0) {
            out += static_cast<char>(hex(v[i + 1]) * 16 + hex(v[i + 2]));
            i += 2;
        } else {
            out += v[i];
        }
    }
    return out;
}

THttpRequestParser::EState THttpRequestParser::Fail(int status, std::string reason) {
    FState = EState::Failed;
    FFailStatus = status;
    FFailReason = std::move(reason);
    return FState;
}

bool THttpRequestParser::TakeContinueWanted() {
    const bool wanted = FContinueWanted;
    FContinueWanted = false;
    return wanted;
}

THttpRequestParser::EState THttpRequestParser::Feed(std::string_view bytes) {
    if (FState == EState::Failed) {
        return FState;
    }
    if (FState == EState::Complete) {
        FExtra += bytes.size();
        return FState;
    }
    FBuffer.append(bytes);
    if (!FHeadersDone) {
        const std::size_t end = FBuffer.find("\r\n\r\n");
        if (end == std::string::npos) {
            if (FBuffer.size() > MaxHeaderBytes) {
                return Fail(431, "request header larger than " +
                                     std::to_string(MaxHeaderBytes) + " bytes");
            }
            return FState;
        }
        const std::string head = FBuffer.substr(0, end);
        FBuffer.erase(0, end + 4);
        FHeadersDone = true;
        if (ParseHead(head) == EState::Failed) {
            return FState;
        }
    }
    return TakeBody();
}

THttpRequestParser::EState THttpRequestParser::TakeBody() {
    if (FBuffer.size() < FContentLength) {
        return FState;
    }
    FRequest.Body = FBuffer.substr(0, FContentLength);
    FExtra = FBuffer.size() - FContentLength;
    FBuffer.clear();
    FState = EState::Complete;
    return FState;
}

THttpRequestParser::EState THttpRequestParser::EndOfInput() {
    if (FState != EState::NeedMore) {
        return FState;
    }
    if (!FHeadersDone) {
        return Fail(400, "connection closed inside the request header");
    }
    return Fail(400, "request body shorter than its Content-Length (" +
                         std::to_string(FBuffer.size()) + " of " +
                         std::to_string(FContentLength) + " bytes arrived)");
}

THttpRequestParser::EState THttpRequestParser::ParseHead(std::string_view head) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= head.size()) {
        const std::size_t end = head.find("\r\n", start);
        if (end == std::string_view::npos) {
            lines.emplace_back(head.substr(start));
            break;
        }
        lines.emplace_back(head.substr(start, end - start));
        start = end + 2;
    }
    const std::vector<std::string> words = Split(lines.front(), ' ');
    if (words.size() != 3 || words[0].empty() || words[1].empty()) {
        return Fail(400, "malformed request line \"" + lines.front() + "\"");
    }
    FRequest.Method = words[0];
    FRequest.Target = words[1];
    FRequest.Version = words[2];
    if (FRequest.Version != "HTTP/1.0" && FRequest.Version != "HTTP/1.1") {
        return Fail(505, "unsupported protocol \"" + FRequest.Version + "\"");
    }
    const std::size_t question = FRequest.Target.find('?');
    FRequest.Path = FRequest.Target.substr(0, question);
    if (question != std::string::npos) {
        FRequest.Query = FRequest.Target.substr(question + 1);
    }
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::size_t colon = lines[i].find(':');
        if (colon == std::string::npos || colon == 0) {
            return Fail(400, "malformed header line \"" + lines[i] + "\"");
        }
        FRequest.Headers.emplace_back(lines[i].substr(0, colon), Trim(lines[i].substr(colon + 1)));
    }
    if (const auto encoding = FRequest.Header("Transfer-Encoding");
        encoding && !IEquals(*encoding, "identity")) {
        return Fail(501, "Transfer-Encoding \"" + *encoding + "\" is not supported");
    }
    if (const auto length = FRequest.Header("Content-Length")) {
        unsigned long long value = 0;
        if (!ParseUnsigned(*length, ~0ULL, value)) {
            return Fail(400, "malformed Content-Length \"" + *length + "\"");
        }
        if (value > MaxBodyBytes) {
            return Fail(413, "request body of " + *length + " bytes is too large");
        }
        FContentLength = static_cast<std::size_t>(value);
    } else if (FRequest.Method == "POST" || FRequest.Method == "PUT") {
        return Fail(411, "a " + FRequest.Method + " request needs a Content-Length");
    }
    if (const auto expect = FRequest.Header("Expect")) {
        if (!IEquals(*expect, "100-continue")) {
            return Fail(417, "cannot meet Expect: " + *expect);
        }
        FContinueWanted = FContentLength > 0;
    }
    return FState;
}

} // namespace camsim
