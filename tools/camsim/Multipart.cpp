#include "Multipart.h"

#include "Text.h"

namespace camsim {

std::pair<std::string, std::vector<std::pair<std::string, std::string>>>
SplitHeaderParameters(std::string_view value) {
    std::vector<std::string> pieces;
    std::string current;
    bool quoted = false;
    for (const char c : value) {
        if (c == '"') {
            quoted = !quoted;
        }
        if (c == ';' && !quoted) {
            pieces.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    pieces.push_back(current);
    std::vector<std::pair<std::string, std::string>> parameters;
    for (std::size_t i = 1; i < pieces.size(); ++i) {
        const std::string piece = Trim(pieces[i]);
        const std::size_t equals = piece.find('=');
        if (equals == std::string::npos) {
            continue;
        }
        std::string parameter = Trim(piece.substr(equals + 1));
        if (parameter.size() >= 2 && parameter.front() == '"' && parameter.back() == '"') {
            parameter = parameter.substr(1, parameter.size() - 2);
        }
        parameters.emplace_back(ToLower(Trim(piece.substr(0, equals))), parameter);
    }
    return {Trim(pieces.front()), parameters};
}

namespace {

std::optional<std::string> Parameter(
    const std::vector<std::pair<std::string, std::string>>& parameters, std::string_view name) {
    for (const auto& [key, value] : parameters) {
        if (key == name) {
            return value;
        }
    }
    return std::nullopt;
}

TUploadResult Refuse(std::string why) {
    return TUploadResult{std::nullopt, std::move(why)};
}

} // namespace

TUploadResult ParseMultipartUpload(const THttpRequest& request) {
    const auto contentType = request.Header("Content-Type");
    if (!contentType) {
        return Refuse("the upload has no Content-Type");
    }
    const auto [type, parameters] = SplitHeaderParameters(*contentType);
    if (!IEquals(type, "multipart/form-data")) {
        return Refuse("the upload is " + type + ", not multipart/form-data");
    }
    const auto boundary = Parameter(parameters, "boundary");
    if (!boundary || boundary->empty()) {
        return Refuse("the upload's Content-Type names no boundary");
    }
    const std::string_view body = request.Body;
    const std::string delimiter = "--" + *boundary;
    std::size_t at = body.find(delimiter);
    if (at == std::string_view::npos || (at != 0 && (at < 2 || body.substr(at - 2, 2) != "\r\n"))) {
        return Refuse("the body does not open with the boundary");
    }
    at += delimiter.size();
    std::optional<TUploadedFile> file;
    while (true) {
        if (body.substr(at, 2) == "--") {
            const std::string_view rest = body.substr(at + 2);
            if (!rest.empty() && rest != "\r\n") {
                return Refuse(std::to_string(rest.size()) +
                              " bytes follow the closing boundary");
            }
            break;
        }
        if (body.substr(at, 2) != "\r\n") {
            return Refuse("a boundary line is not followed by CR LF");
        }
        at += 2;
        const std::size_t headEnd = body.find("\r\n\r\n", at);
        if (headEnd == std::string_view::npos) {
            return Refuse("a part's header has no end");
        }
        TUploadedFile part;
        bool hasFileName = false;
        for (const std::string& line :
             Split(std::string(body.substr(at, headEnd - at)), '\n')) {
            const std::string header = Trim(line);
            const std::size_t colon = header.find(':');
            if (colon == std::string::npos) {
                return Refuse("malformed part header line \"" + header + "\"");
            }
            const std::string name = Trim(header.substr(0, colon));
            const std::string value = Trim(header.substr(colon + 1));
            if (IEquals(name, "Content-Disposition")) {
                const auto [disposition, dispositionParameters] = SplitHeaderParameters(value);
                part.FieldName = Parameter(dispositionParameters, "name").value_or("");
                if (const auto fileName = Parameter(dispositionParameters, "filename")) {
                    part.FileName = *fileName;
                    hasFileName = true;
                }
            } else if (IEquals(name, "Content-Type")) {
                part.ContentType = value;
            }
        }
        const std::size_t contentStart = headEnd + 4;
        const std::size_t contentEnd = body.find("\r\n" + delimiter, contentStart);
        if (contentEnd == std::string_view::npos) {
            return Refuse("a part is not closed by the boundary (body cut short, or "
                          "Content-Length too small?)");
        }
        part.Bytes = std::string(body.substr(contentStart, contentEnd - contentStart));
        if (hasFileName && !file) {
            file = std::move(part);
        }
        at = contentEnd + 2 + delimiter.size();
    }
    if (!file) {
        return Refuse("the upload holds no file part");
    }
    return TUploadResult{std::move(file), {}};
}

} // namespace camsim
