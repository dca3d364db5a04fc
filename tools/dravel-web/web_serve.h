// dravel-web: the operator's page, a CGI/1.1 program. One request is one
// run: the web server gives the request in the environment and, for a
// POST, the body on standard input; the answer goes to standard output.
#pragma once

#include <cstdio>
#include <ctime>

#include "tools/dravel-web/cgi_request.h"

// Answers one request at the time `now`. Always 0: every outcome, refusals
// included, is an answer.
int serve_request(const CgiEnvironment& env, FILE* body, time_t now, FILE* out);
