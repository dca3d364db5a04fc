// The page's answers as CGI/1.1 wants them: a Status header, the type, and
// the body; and the frame every HTML page shares.
#pragma once

#include <cstdio>
#include <string>

// "403 Forbidden" for 403.
std::string status_text(int status);

// Writes the whole answer. Nothing of the page is kept by a cache: it shows
// what is true now and carries the user's token.
void send_answer(FILE* out, int status, const std::string& type, const std::string& body);

// A whole HTML page around `content` (HTML already): the title, the links
// to the page's parts, and, when `refreshed`, a reload now and then (by
// script where there is one, so that a form being filled in is kept).
std::string page_html(const std::string& title, const std::string& content, bool refreshed);

// A form that changes something: POST, the user's token, the action's name
// and `fields` (HTML already), sent by a button labelled `button`.
std::string change_form(const std::string& token, const std::string& action,
                        const std::string& fields, const std::string& button);

// A hidden field; `value` is escaped here.
std::string hidden_field(const std::string& name, const std::string& value);

// Sends a refusal or a result: `message` (plain text, escaped here).
void send_message(FILE* out, int status, const std::string& message);
