// The token that every changing form carries, so that another site cannot
// make an operator's browser send a change: an HMAC over the user and the
// day, keyed by a secret that only the page can read. A page left open over
// midnight still works: the token of the day before is taken too.
#pragma once

#include <ctime>
#include <string>

// Reads the key at `path`, a regular file of the page's own that nobody else
// may read (mode 0600 or less), no link. When there is none yet, one is made
// of random bytes. 0, or -1 with `error` set.
int read_secret(const std::string& path, std::string* secret, std::string* error);

// The token of `user` on the day of `now` (UTC), as hex digits.
std::string form_token(const std::string& secret, const std::string& user, time_t now);

// Whether `token` is the token of `user` today or yesterday; compared in
// constant time.
bool token_valid(const std::string& secret, const std::string& user, time_t now,
                 const std::string& token);

// A browser names the site a form came from in Origin; a form of this page
// names this host. No Origin (an older browser, or a form of the same page
// in some) is left to the token.
bool same_origin(const std::string& origin, const std::string& host);
