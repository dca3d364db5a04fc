// What the operator's page reads from "streams.ini": its own section "web"
// beside the service's settings, which tell it where the journals, the
// storages and the access base are.
#pragma once

#include <string>
#include <vector>

struct WebSettings {
    std::vector<std::string> operators; // "web"/"operators": who may change things
    std::string secret_file;            // "web"/"secret_file": the key of the form tokens
    std::string access_base;            // "web"/"access_base": the service's, unless a test bed's
    std::string pid_file;               // "web"/"pid_file": the running service's
    std::string preview;                // "web"/"preview": the live picture
    std::string stmgrclient; // "web"/"stmgrclient": the state manager's client, by PATH as the
                             // service runs it
};

// Reads the settings, the service's start-up settings and its storage
// mount points (into gv). A missing file or key keeps the defaults, and
// with no operators nobody may change anything.
void read_web_settings(WebSettings* settings);

bool is_operator(const WebSettings& settings, const std::string& user);
