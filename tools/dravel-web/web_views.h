// The page's views, as HTML: live, the access list and the history.
// `token` is empty for a viewer, who gets no forms that change anything.
#pragma once

#include <ctime>
#include <string>

#include "tools/dravel-web/cgi_request.h"
#include "tools/dravel-web/web_settings.h"

std::string live_view(const WebSettings& settings, time_t now, const std::string& token);

// The entries whose pattern, owner or text holds `query`.
std::string access_view(const WebSettings& settings, const std::string& query,
                        const std::string& token);

// The passages of the pass journal that `query` keeps: "number" (a pattern
// with `?`), "day" (local YYYY-MM-DD), "decision" ("admitted", "refused",
// or all). The last HISTORY_SHOWN are shown; CSV holds them all. 0, or 400
// when a filter is not well formed.
constexpr size_t HISTORY_SHOWN = 500;
int history_view(const FormFields& query, bool csv, std::string* body);
