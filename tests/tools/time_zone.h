// The process's time zone set for one test and put back after it, so that
// the zone a test relies on never leaks into the next test of the program.
#pragma once

#include <cstdlib>
#include <ctime>
#include <string>

class ZoneForTest {
  public:
    explicit ZoneForTest(const char* zone) {
        const char* before = getenv("TZ");
        had_zone_ = before != nullptr;
        saved_ = before != nullptr ? before : "";
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ZoneForTest() {
        if (had_zone_)
            setenv("TZ", saved_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    ZoneForTest(const ZoneForTest&) = delete;
    ZoneForTest& operator=(const ZoneForTest&) = delete;

  private:
    std::string saved_;
    bool had_zone_ = false;
};
