// The passage report's style sheet and script, written into the page itself
// so that it opens from a folder or a USB stick with no server and nothing
// fetched from elsewhere.
#pragma once

extern const char REPORT_STYLE[];

// Filters the passages by number, day and decision. The filters are kept in
// the page address's fragment ("#number=A123&day=2009-03-14&decision=refused"),
// so a filtered view can be bookmarked or handed on, and a page opened with
// one shows it filtered. Each snapshot's natural width is noted in its
// data-natural-width once it has loaded (0 when it failed), so a check of
// the rendered page can tell whether the pictures were found.
extern const char REPORT_SCRIPT[];
