#include "tools/dravel-web/web_serve.h"

#include "support/log.h"
#include "support/process_values.h"
#include "tools/accessbase/tool_files.h"
#include "tools/cp1251_text/shown_text.h"
#include "tools/dravel-web/form_token.h"
#include "tools/dravel-web/live_facts.h"
#include "tools/dravel-web/web_actions.h"
#include "tools/dravel-web/web_page.h"
#include "tools/dravel-web/web_views.h"

namespace {

// No field of the page's forms is longer: the longest is a display text of
// 63 CP1251 letters, 126 bytes in UTF-8.
constexpr size_t FIELD_MAX = 256;

// A JPEG of a storage or the preview, at most a few MiB.
void send_jpeg(FILE* out, const std::string& path) {
    std::string why;
    FILE* file = open_input(path, &why);
    std::string jpeg;
    if (file != nullptr) {
        char block[65536];
        for (size_t got;
             (got = fread(block, 1, sizeof block, file)) > 0 && jpeg.size() < (4u << 20);)
            jpeg.append(block, got);
        fclose(file);
    }
    if (file == nullptr)
        send_message(out, 404, "No such snapshot.");
    else
        send_answer(out, 200, "image/jpeg", jpeg);
}

bool fields_short(const FormFields& fields) {
    for (const auto& field : fields) {
        if (field.first.size() > FIELD_MAX || field.second.size() > FIELD_MAX)
            return false;
    }
    return true;
}

// A change refused before it was tried is logged too: someone tried it.
void refuse_change(const CgiRequest& request, int status, const std::string& why, FILE* out) {
    LOG("%s: %s refused: %s\n", escaped_text(request.user).c_str(),
        escaped_text(form_value(request.form, "do")).c_str(), why.c_str());
    send_message(out, status, why);
}

void serve_change(const WebSettings& settings, const CgiRequest& request, time_t now, FILE* out) {
    if (!is_operator(settings, request.user))
        return refuse_change(request, 403,
                             "Only the operators named in streams.ini may change things.", out);
    if (!same_origin(request.origin, request.host))
        return refuse_change(request, 403, "The form came from another site.", out);
    std::string secret, error;
    if (read_secret(settings.secret_file, &secret, &error) != 0)
        return refuse_change(request, 500, error, out);
    if (!token_valid(secret, request.user, now, form_value(request.form, "token")))
        return refuse_change(request, 403,
                             "The form is not one this page gave you; load the page again.", out);
    const std::string action = form_value(request.form, "do");
    ActionResult result{400, "No such action."};
    if (action == "open")
        result = open_by_hand(settings, request.user);
    else if (action == "add" || action == "edit" || action == "remove")
        result = change_access(settings, request.user, action, request.form);
    else if (action == "left" || action == "inside")
        result = correct_occupancy(request.user, action, request.form, now);
    send_message(out, result.status, result.message);
}

// The user's token, or empty (no forms) for a viewer or when the secret
// cannot be had.
std::string token_for(const WebSettings& settings, const std::string& user, time_t now) {
    std::string secret, error;
    if (!is_operator(settings, user) || read_secret(settings.secret_file, &secret, &error) != 0)
        return "";
    return form_token(secret, user, now);
}

void serve_view(const WebSettings& settings, const CgiRequest& request, time_t now, FILE* out) {
    const FormFields& query = request.query;
    if (query.count("preview") != 0) {
        std::string jpeg;
        if (fresh_preview(settings.preview, now, &jpeg) != 0)
            return send_message(out, 404, "no picture");
        return send_answer(out, 200, "image/jpeg", jpeg);
    }
    if (query.count("snapshot") != 0) {
        const std::string name = form_value(query, "snapshot");
        const std::string folder = first_jpegdata(gv_deviceid);
        if (!snapshot_name_ok(name) || folder.empty())
            return send_message(out, 404, "No such snapshot.");
        return send_jpeg(out, folder + "/" + name);
    }
    const std::string token = token_for(settings, request.user, now);
    if (query.count("access") != 0) {
        return send_answer(out, 200, "text/html; charset=utf-8",
                           access_view(settings, form_value(query, "q"), token));
    }
    if (query.count("history") != 0) {
        const bool csv = query.count("csv") != 0;
        std::string body;
        if (history_view(query, csv, &body) != 0)
            return send_message(out, 400,
                                "Give a number pattern, a day as YYYY-MM-DD and a decision.");
        return send_answer(out, 200, csv ? "text/csv; charset=utf-8" : "text/html; charset=utf-8",
                           body);
    }
    send_answer(out, 200, "text/html; charset=utf-8", live_view(settings, now, token));
}

} // namespace

int serve_request(const CgiEnvironment& env, FILE* body, time_t now, FILE* out) {
    // Nobody unknown gets even the body of the request read.
    const char* user = env("REMOTE_USER");
    if (user == nullptr || user[0] == '\0') {
        send_message(out, 401, "Log in first.");
        return 0;
    }
    CgiRequest request;
    const int refused = read_request(env, body, &request);
    if (refused != 0 || !fields_short(request.query) || !fields_short(request.form)) {
        send_message(out, refused != 0 ? refused : 400, "The request is not one of this page's.");
        return 0;
    }
    WebSettings settings;
    read_web_settings(&settings);
    if (request.method == "POST")
        serve_change(settings, request, now, out);
    else
        serve_view(settings, request, now, out);
    return 0;
}
