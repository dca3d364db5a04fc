#include "tools/dravel-web/cgi_request.h"

#include <cstdlib>
#include <cstring>

namespace {

int hex_digit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

int url_decoded(const std::string& text, std::string* decoded) {
    decoded->clear();
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '+') {
            c = ' ';
        } else if (c == '%') {
            const int high = i + 2 < text.size() ? hex_digit(text[i + 1]) : -1;
            const int low = high < 0 ? -1 : hex_digit(text[i + 2]);
            if (low < 0)
                return -1;
            c = static_cast<char>(high * 16 + low);
            i += 2;
        }
        if (c == '\0')
            return -1;
        decoded->push_back(c);
    }
    return 0;
}

std::string variable(const CgiEnvironment& env, const char* name) {
    const char* value = env(name);
    return value == nullptr ? "" : value;
}

// CONTENT_LENGTH as a count of bytes; -1 when it is none.
long long content_length(const std::string& text) {
    if (text.empty() || text.size() > 18 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return -1;
    return strtoll(text.c_str(), nullptr, 10);
}

int read_body(const CgiEnvironment& env, FILE* body, CgiRequest* request) {
    const long long length = content_length(variable(env, "CONTENT_LENGTH"));
    if (length < 0)
        return REQUEST_BAD;
    if (length > static_cast<long long>(FORM_BODY_MAX))
        return REQUEST_TOO_LARGE;
    const std::string type = variable(env, "CONTENT_TYPE");
    if (type.compare(0, 33, "application/x-www-form-urlencoded") != 0)
        return REQUEST_BAD;
    std::string text(static_cast<size_t>(length), '\0');
    if (length > 0 && fread(&text[0], 1, text.size(), body) != text.size())
        return REQUEST_BAD;
    return parse_form(text, &request->form) == 0 ? 0 : REQUEST_BAD;
}

} // namespace

int parse_form(const std::string& text, FormFields* fields) {
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('&', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string pair = text.substr(start, end - start);
        start = end + 1;
        if (pair.empty())
            continue;
        const size_t equals = std::min(pair.find('='), pair.size());
        std::string name, value;
        if (url_decoded(pair.substr(0, equals), &name) != 0 ||
            url_decoded(pair.substr(std::min(equals + 1, pair.size())), &value) != 0 ||
            !fields->emplace(name, value).second)
            return -1;
    }
    return 0;
}

std::string form_value(const FormFields& fields, const char* name) {
    const auto found = fields.find(name);
    return found == fields.end() ? "" : found->second;
}

bool plate_text(const std::string& text, size_t most) {
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
              c == '?'))
            return false;
    }
    return !text.empty() && text.size() <= most;
}

int read_request(const CgiEnvironment& env, FILE* body, CgiRequest* request) {
    request->method = variable(env, "REQUEST_METHOD");
    request->user = variable(env, "REMOTE_USER");
    request->host = variable(env, "HTTP_HOST");
    request->origin = variable(env, "HTTP_ORIGIN");
    if (parse_form(variable(env, "QUERY_STRING"), &request->query) != 0)
        return REQUEST_BAD;
    if (request->method == "POST")
        return read_body(env, body, request);
    return request->method == "GET" || request->method == "HEAD" ? 0 : REQUEST_BAD;
}
