// The changes an operator makes from the page. Each leaves one line in the
// system log, under the function that made it: who, what, and the result.
// Every input has been read by the request parser; what it means is checked
// here, before anything is touched, and a bad one changes nothing.
#pragma once

#include <ctime>
#include <string>

#include "tools/dravel-web/cgi_request.h"
#include "tools/dravel-web/web_settings.h"

// What came of a change: an HTTP status (200 done, 400 a bad input, 409
// refused by the rules or busy, 500 failed) and what to tell the operator.
struct ActionResult {
    int status;
    std::string message;
};

// The operator's photo request, as the board's own control sets it:
// "stmgrclient set s_make_photo 1", with an argument vector, no shell.
ActionResult open_by_hand(const WebSettings& settings, const std::string& user);

// "add" (pattern, owner, places, max_time, text, from, to), "edit" (the same,
// in the place of the entry with that pattern) and "remove" (pattern), with
// the access-base editor's rules; the service is then told to reload.
ActionResult change_access(const WebSettings& settings, const std::string& user,
                           const std::string& action, const FormFields& form);

// "left" (number): the car no longer holds a place; "inside" (number, since:
// local "YYYY-MM-DDTHH:MM[:SS]"): it holds one since then. Only the fields
// the service itself writes for such a passage are changed, under the
// journal's lock.
ActionResult correct_occupancy(const std::string& user, const std::string& action,
                               const FormFields& form, time_t now);
