// Feeds any bytes to the page's request parser as a query string and a form
// body: the first line is QUERY_STRING, the rest the body, whose
// CONTENT_LENGTH is its size, or a size the second byte picks (shorter,
// longer, beyond the cap). Whatever comes, the parser answers 0, 400 or 413
// and reads no byte past CONTENT_LENGTH; no field it keeps holds a NUL.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tools/dravel-web/cgi_request.h"

namespace {

void check_fields(const FormFields& fields) {
    for (const auto& field : fields) {
        if (field.first.find('\0') != std::string::npos ||
            field.second.find('\0') != std::string::npos)
            abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t line_end = std::min(input.find('\n'), input.size());
    const std::string query = input.substr(0, line_end);
    std::string body = input.substr(std::min(line_end + 1, input.size()));
    const int pick = size > 1 ? data[1] % 4 : 0;
    const size_t lengths[] = {body.size(), body.size() / 2, body.size() + 10, FORM_BODY_MAX + 1};
    const std::string length = std::to_string(lengths[pick]);
    const std::string tail = "<end>";
    body += tail;
    FILE* stream = fmemopen(&body[0], body.size(), "rb");
    const CgiEnvironment env = [&](const char* name) -> const char* {
        const std::string wanted = name;
        if (wanted == "REQUEST_METHOD")
            return "POST";
        if (wanted == "QUERY_STRING")
            return query.c_str();
        if (wanted == "CONTENT_LENGTH")
            return length.c_str();
        if (wanted == "CONTENT_TYPE")
            return "application/x-www-form-urlencoded";
        return nullptr;
    };
    CgiRequest request;
    const int status = read_request(env, stream, &request);
    if (status != 0 && status != REQUEST_BAD && status != REQUEST_TOO_LARGE)
        abort();
    // What was read ends at CONTENT_LENGTH, never in the bytes after it.
    const long read_to = ftell(stream);
    if (read_to > static_cast<long>(lengths[pick]))
        abort();
    if (status == 0 && pick == 3)
        abort();
    check_fields(request.query);
    check_fields(request.form);
    fclose(stream);
    return 0;
}
