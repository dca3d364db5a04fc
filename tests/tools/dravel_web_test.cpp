// The operator's page, one CGI request a step; the requests and the answers
// are in tests/tools/golden/web-*.txt. A step "$ NAME=VALUE ..." serves one
// request at T0 with those variables; BODY=... is its body (and its
// CONTENT_LENGTH unless given), <PATH its body read from a file, AGE=N the
// preview written N seconds before. After the answer come the lines the page
// logged ("! log ...") and the files it changed ("! changed NAME", and for the state manager's
// calls the new ones).
#include <cstring>
#include <fcntl.h>
#include <map>
#include <regex>
#include <sys/stat.h>

#include "tests/common/records.h"
#include "tests/common/syslog_capture.h"
#include "tests/tools/tool_run.h"
#include "tools/accessbase/access_edit.h"
#include "tools/accessbase/access_file.h"
#include "tools/dravel-web/hmac_sha256.h"
#include "tools/dravel-web/web_serve.h"

namespace {

const int32_t T0 = 1237010709; // 2009-03-14 08:05:09 in the tests' zone
const char* const WATCHED[] = {"accessbase.tpa", "netnumbase.tpn", "stmgrclient.calls"};
std::string dir;
std::map<std::string, std::string> contents;

std::string content_of(const char* name) {
    const std::string path = dir + "/" + name;
    return exists(path) ? read_text_file(path) : "";
}

void touch(const std::string& path, time_t when) {
    const timespec times[2] = {{when, 0}, {when, 0}};
    utimensat(AT_FDCWD, path.c_str(), times, 0);
}

int web_main(int argc, char** argv, FILE* out, FILE* err) {
    std::map<std::string, std::string> env;
    std::string body;
    FILE* in = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        const size_t equals = word.find('=');
        if (word[0] == '<')
            in = fopen(word.substr(1).c_str(), "rb");
        else if (word.compare(0, 5, "BODY=") == 0)
            body = word.substr(5);
        else if (word.compare(0, 4, "AGE=") == 0)
            touch(dir + "/video0.jpeg", T0 - std::stoi(word.substr(4)));
        else
            env[word.substr(0, equals)] = word.substr(equals + 1);
    }
    if (in == nullptr) {
        in = fmemopen(&body[0], body.size() + 1, "rb");
        env.emplace("CONTENT_LENGTH", std::to_string(body.size()));
    }
    syslog_capture::clear();
    StreamCapture answer;
    serve_request(
        [&env](const char* name) {
            const auto found = env.find(name);
            return found == env.end() ? nullptr : found->second.c_str();
        },
        in, T0, answer.stream);
    fclose(in);
    // The free space of the test's disk is whatever it is.
    const std::string text = std::regex_replace(
        answer.text(), std::regex("<span class=\"free\">[^<]*"), "<span class=\"free\">N MiB");
    fwrite(text.data(), 1, text.size(), out);
    for (const std::string& line : syslog_capture::all())
        fprintf(err, "log %s", line.c_str());
    for (const char* name : WATCHED) {
        const std::string now = content_of(name);
        if (now != contents[name] && strstr(name, ".calls") != nullptr)
            fprintf(err, "changed %s: %s", name, now.substr(contents[name].size()).c_str());
        else if (now != contents[name])
            fprintf(err, "changed %s\n", name);
        contents[name] = now;
    }
    return 0;
}

class WebPage : public ToolTest {
  protected:
    WebPage() : ToolTest(web_main, "dravel-web", {"dravel-web"}) {
        dir = dir_;
        setenv("VELM_CONF_DIR", dir_.c_str(), 1);
        file("streams.ini", "[common]\ndeviceid = gate-1\n[net_base]\nuse_local_storage = 0\n"
                            "mountdir = " +
                                dir_ + "\n[disc0]\nON = 1\nmountpoint = " + dir_ +
                                "/usb\n[web]\noperators = anna, boris\nsecret_file = " + dir_ +
                                "/secret\naccess_base = " + dir_ + "/accessbase.tpa\n" +
                                "pid_file = " + dir_ + "/none.pid\npreview = " + dir_ +
                                "/video0.jpeg\nstmgrclient = " + dir_ + "/stmgrclient\n");
        chmod(file("secret", "a secret of thirty-two bytes ...").c_str(), 0600);
        chmod(file("stmgrclient", "#!/bin/sh\necho \"$@\" >>\"$0.calls\"\n").c_str(), 0755);
        std::vector<_access_rec_t> base;
        std::vector<std::string> notes;
        std::string error;
        for (const auto& row :
             {AccessRow{"A123BC77", "2009-01-01T00:00:00Z", "2010-01-01T00:00:00Z", "Иванов", "2",
                        "1:30", "<b>guest</b>"},
              AccessRow{"K???KK", "2009-01-01T00:00:00Z", "2010-01-01T00:00:00Z", "Petrov", "1", "",
                        "staff"}})
            add_access_entry(&base, row, &notes, &error);
        write_access_file(dir_ + "/accessbase.tpa", base, &error);
        file("netnumbase.tpn",
             bytes_of(netnum_record("A123BC77", cp1251("Иванов").c_str(), 1, T0 - 7200)) +
                 bytes_of(netnum_record("K555KK", "Petrov", 1, T0 - 600)) +
                 bytes_of(netnum_record("M001MM", "", 0, T0 - 900, T0 - 300)));
        std::string passes;
        for (int i = 0; i < 30; ++i)
            passes += bytes_of(netpass_record(
                T0 - 3000 + 100 * i, i % 2 ? "K555KK" : "A123BC77", i % 3 ? 1 : 0,
                cp1251("Разрешено"), cp1251("Иванов,2,1:30"), i % 5 ? "gate-1" : "gate-2"));
        file("netpassbase.tpn", passes);
        mkdir((dir_ + "/usb").c_str(), 0755);
        mkdir((dir_ + "/usb/gate-1").c_str(), 0755);
        mkdir((dir_ + "/usb/gate-1/jpegdata").c_str(), 0755);
        file("usb/gate-1/jpegdata/2009-03-14_06-03-29_K555KK.jpeg", "JPEG snapshot\n");
        file("video0.jpeg", "JPEG preview\n");
        for (const char* name : WATCHED)
            contents[name] = content_of(name);
    }
};

} // namespace

// Every security case is refused, and the files stay as they were: no
// "changed" line follows the refusals.
TEST_F(WebPage, RefusesWhatTheUserMayNotDoAndWhatIsNotOneOfItsForms) {
    EXPECT_TRUE(script_matches("web-security.txt"));
}

TEST_F(WebPage, LiveViewShowsThePreviewThePassagesOfThisBoardWhoIsInsideAndTheStorages) {
    EXPECT_TRUE(script_matches("web-live.txt"));
}

TEST_F(WebPage, OperatorsOpenEditTheAccessListAndCorrectTheOccupancy) {
    EXPECT_TRUE(script_matches("web-changes.txt"));
}

TEST_F(WebPage, HistoryFiltersAndExportsCsv) {
    EXPECT_TRUE(script_matches("web-history.txt"));
}

TEST(HmacSha256, MatchesTheKnownVectors) {
    for (const std::string& line : read_lines(DRAVEL_TOOLS_GOLDEN "hmac-sha256.txt")) {
        const std::vector<std::string> words = words_of(line);
        if (words.size() != 3 || line[0] == '#')
            continue;
        const auto bytes = [](const std::string& hex) {
            std::string raw;
            for (size_t i = 0; hex != "-" && i < hex.size(); i += 2)
                raw += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
            return raw;
        };
        EXPECT_EQ(hex_text(hmac_sha256(bytes(words[0]), bytes(words[1]))), words[2]) << line;
    }
}
