#include "tools/dravel-web/web_settings.h"

#include "board/board_config.h"
#include "core/config.h"
#include "support/process_values.h"

namespace {

void read_text(CONFIG_HANDLE config, const char* key, std::string* value) {
    char text[4096];
    if (ConfigGetStr(config, text, "web", key, sizeof text) == 0)
        *value = text;
}

// "anna, boris" as names; blanks around each are dropped.
std::vector<std::string> names_of(const std::string& list) {
    std::vector<std::string> names;
    size_t start = 0;
    while (start <= list.size()) {
        const size_t end = std::min(list.find(',', start), list.size());
        const std::string item = list.substr(start, end - start);
        const size_t first = item.find_first_not_of(" \t");
        if (first != std::string::npos)
            names.push_back(item.substr(first, item.find_last_not_of(" \t") - first + 1));
        start = end + 1;
    }
    return names;
}

} // namespace

void read_web_settings(WebSettings* settings) {
    settings->secret_file = "/var/local/dravel-web.secret";
    settings->access_base = std::string(gv_accessbasepath) + gv_accessbase;
    settings->pid_file = "/var/run/dravel.pid";
    settings->preview = "/tmp/video0.jpeg";
    settings->stmgrclient = "stmgrclient";
    read_startup_settings();
    get_mountpoints();
    CONFIG_HANDLE config = ConfigOpen(build_streams_ini_path(), 0);
    if (config == nullptr)
        return;
    std::string operators;
    read_text(config, "operators", &operators);
    settings->operators = names_of(operators);
    read_text(config, "secret_file", &settings->secret_file);
    read_text(config, "access_base", &settings->access_base);
    read_text(config, "pid_file", &settings->pid_file);
    read_text(config, "preview", &settings->preview);
    read_text(config, "stmgrclient", &settings->stmgrclient);
    ConfigClose(config);
}

bool is_operator(const WebSettings& settings, const std::string& user) {
    for (const std::string& name : settings.operators) {
        if (!user.empty() && name == user)
            return true;
    }
    return false;
}
