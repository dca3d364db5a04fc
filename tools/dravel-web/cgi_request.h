// What a CGI/1.1 request brings: the method, the user the web server
// authenticated, where it came from, and the fields of the query string and
// of a form body. The body is taken only up to a small size: a form of this
// page is a few hundred bytes, and a request of megabytes is refused before
// it is read, so no one can make the board's memory run out.
#pragma once

#include <cstdio>
#include <functional>
#include <map>
#include <string>

constexpr size_t FORM_BODY_MAX = 64 * 1024;

// The web server's variables by name; nullptr when unset.
using CgiEnvironment = std::function<const char*(const char*)>;

using FormFields = std::map<std::string, std::string>;

struct CgiRequest {
    std::string method;
    std::string user;   // REMOTE_USER; empty: not authenticated
    std::string host;   // HTTP_HOST, as the browser named this server
    std::string origin; // HTTP_ORIGIN; empty when the browser sent none
    FormFields query;
    FormFields form; // of a POST body of type application/x-www-form-urlencoded
};

// Reads "a=1&b=x+y%2F" into `fields`. A bad escape, a name given twice
// (which of the two would count?) or a NUL byte make it -1.
int parse_form(const std::string& text, FormFields* fields);

// The field's value; empty when it was not given.
std::string form_value(const FormFields& fields, const char* name);

// Whether `text` can be a car number or a search for one: 1 to `most`
// ASCII letters, digits and `?`.
bool plate_text(const std::string& text, size_t most);

// HTTP status of a refused request.
enum { REQUEST_BAD = 400, REQUEST_TOO_LARGE = 413 };

// Reads the request; a POST's body from `body`, at most CONTENT_LENGTH
// bytes. 0, or the status with which to refuse it.
int read_request(const CgiEnvironment& env, FILE* body, CgiRequest* request);
