#include "tools/dravel-web/web_page.h"

#include <algorithm>

#include "tools/journal-reader/html_text.h"

std::string status_text(int status) {
    switch (status) {
    case 200:
        return "200 OK";
    case 400:
        return "400 Bad Request";
    case 401:
        return "401 Unauthorized";
    case 403:
        return "403 Forbidden";
    case 404:
        return "404 Not Found";
    case 409:
        return "409 Conflict";
    case 413:
        return "413 Payload Too Large";
    default:
        return "500 Internal Server Error";
    }
}

void send_answer(FILE* out, int status, const std::string& type, const std::string& body) {
    const std::string head = "Status: " + status_text(status) + "\nContent-Type: " + type +
                             "\nCache-Control: no-store\nX-Content-Type-Options: nosniff\n"
                             "X-Frame-Options: DENY\n\n";
    fwrite(head.data(), 1, head.size(), out);
    fwrite(body.data(), 1, body.size(), out);
    fflush(out);
}

std::string page_html(const std::string& title, const std::string& content, bool refreshed) {
    // Without script the whole page comes again; with it, only the parts
    // marked "live" are replaced, and the picture is asked for anew.
    const std::string refresh =
        !refreshed ? ""
                   : "<noscript><meta http-equiv=\"refresh\" content=\"10\"></noscript>\n"
                     "<script>\n"
                     "setInterval(function () {\n"
                     "  var picture = document.getElementById('preview');\n"
                     "  if (picture) picture.src = '?preview&t=' + Date.now();\n"
                     "}, 2000);\n"
                     "setInterval(function () {\n"
                     "  fetch(location.href).then(function (r) { return r.text(); })\n"
                     "    .then(function (text) {\n"
                     "      var fresh = new DOMParser().parseFromString(text, 'text/html');\n"
                     "      document.querySelectorAll('.live').forEach(function (part) {\n"
                     "        var now = fresh.getElementById(part.id);\n"
                     "        if (now) part.innerHTML = now.innerHTML;\n"
                     "      });\n"
                     "    });\n"
                     "}, 5000);\n"
                     "</script>\n";
    return "<!DOCTYPE html>\n<html lang=\"ru\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<meta name=\"viewport\" content=\"width=device-width\">\n<title>" +
           html_escaped(title) + "</title>\n" + refresh +
           "<style>table{border-collapse:collapse}td,th{border:1px solid #999;padding:2px 6px}"
           ".over{color:#b00;font-weight:bold}</style>\n</head>\n<body>\n"
           "<p><a href=\"?\">Live</a> | <a href=\"?history\">History</a> | "
           "<a href=\"?access\">Access list</a></p>\n<h1>" +
           html_escaped(title) + "</h1>\n" + content + "</body>\n</html>\n";
}

std::string hidden_field(const std::string& name, const std::string& value) {
    return "<input type=\"hidden\" name=\"" + html_escaped(name) + "\" value=\"" +
           html_escaped(value) + "\">";
}

std::string change_form(const std::string& token, const std::string& action,
                        const std::string& fields, const std::string& button) {
    return "<form method=\"post\" action=\"?\">" + hidden_field("token", token) +
           hidden_field("do", action) + fields + "<button>" + html_escaped(button) +
           "</button></form>";
}

void send_message(FILE* out, int status, const std::string& message) {
    // The editor's messages come a line each.
    std::string lines;
    size_t start = 0;
    while (start < message.size()) {
        const size_t end = std::min(message.find('\n', start), message.size());
        if (end > start)
            lines += "<p>" + html_escaped(message.substr(start, end - start)) + "</p>\n";
        start = end + 1;
    }
    send_answer(out, status, "text/html; charset=utf-8",
                page_html(status == 200 ? "Done" : status_text(status), lines, false));
}
