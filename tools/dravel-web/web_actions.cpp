#include "tools/dravel-web/web_actions.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "access/netnum_scan.h"
#include "support/journal_file.h"
#include "support/log.h"
#include "support/process_values.h"
#include "tools/accessbase/access_edit.h"
#include "tools/accessbase/accessbase_settings.h"
#include "tools/accessbase/notify.h"
#include "tools/cp1251_text/shown_text.h"
#include "tools/journal-reader/journal_time.h"

extern char** environ;

namespace {

// Runs `argv` and waits for it, found through PATH when its name has no
// slash; its output goes nowhere. 0 when it exited with 0.
int run_program(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t child;
    int status = -1;
    const int spawned = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return -1;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : -1;
}

// The row of an access form; an empty period is the whole time the file
// can hold, as the editor takes it.
AccessRow access_form_row(const FormFields& form) {
    AccessRow row = Settings().row;
    row.number = form_value(form, "pattern");
    row.owner = form_value(form, "owner");
    row.places = form_value(form, "places");
    row.max_time = form_value(form, "max_time");
    row.text = form_value(form, "text");
    if (!form_value(form, "from").empty())
        row.from = form_value(form, "from");
    if (!form_value(form, "to").empty())
        row.to = form_value(form, "to");
    return row;
}

// The editor's run: its output and messages kept for the operator.
int run_editor(const Settings& editor, std::string* said) {
    char* buffer = nullptr;
    size_t size = 0;
    FILE* err = open_memstream(&buffer, &size);
    FILE* out = fopen("/dev/null", "w");
    const int status = err == nullptr || out == nullptr ? FAILED : run_command(editor, out, err);
    if (out != nullptr)
        fclose(out);
    if (err != nullptr)
        fclose(err);
    said->assign(buffer == nullptr ? "" : buffer, size);
    free(buffer);
    return status;
}

// A time typed in a form, local time, to the minute or the second.
int local_form_time(std::string text, int64_t* seconds) {
    if (text.size() == 16)
        text += ":00";
    return text.size() == 19 ? local_time_of(text, seconds) : -1;
}

} // namespace

ActionResult open_by_hand(const WebSettings& settings, const std::string& user) {
    const bool done = run_program({settings.stmgrclient, "set", "s_make_photo", "1"}) == 0;
    LOG("%s: photo request (s_make_photo 1): %s\n", escaped_text(user).c_str(),
        done ? "done" : "failed");
    if (!done)
        return {500, "The state manager did not take the photo request."};
    return {200, "The photo request is made: the barrier opens for the car in front of it."};
}

ActionResult change_access(const WebSettings& settings, const std::string& user,
                           const std::string& action, const FormFields& form) {
    Settings editor;
    editor.file = settings.access_base;
    editor.row = access_form_row(form);
    editor.command = action;
    editor.arguments = {editor.row.number};
    // A bad entry is told from the form alone, before the base is locked.
    std::vector<_access_rec_t> trial;
    std::vector<std::string> notes;
    std::string error;
    if (action != "remove" && add_access_entry(&trial, editor.row, &notes, &error) != 0)
        return {400, error};
    // No owner or text needs markup; one that holds some is most likely an
    // attempt on whoever reads the list, here or in a report.
    if ((editor.row.owner + editor.row.text).find_first_of("<>") != std::string::npos)
        return {400, "The owner and the text may not hold \"<\" or \">\"."};
    std::string said;
    const bool done = run_editor(editor, &said) == DONE;
    // The change stands whether or not the service hears of it; it reads
    // the base again when it starts.
    pid_t service = 0;
    std::string told = "The service was told to reload the access base.";
    if (done && (read_pid_file(settings.pid_file, &service, &error) != 0 ||
                 notify_service(service, &error) != 0))
        told = "The service could not be told to reload: " + error;
    LOG("%s: access %s %s: %s\n", escaped_text(user).c_str(), action.c_str(),
        escaped_text(editor.row.number).c_str(), done ? told.c_str() : "refused");
    return {done ? 200 : 409, said + (done ? told : "")};
}

ActionResult correct_occupancy(const std::string& user, const std::string& action,
                               const FormFields& form, time_t now) {
    const std::string number = form_value(form, "number");
    int64_t since = 0;
    if (!plate_text(number, sizeof(_netnum_rec_t::number) - 1) ||
        (action == "inside" &&
         (local_form_time(form_value(form, "since"), &since) != 0 || since <= 0 || since > now)))
        return {400, "Give a car number of the journal, and for \"inside\" a past time."};
    char path[netbase_path_size];
    netbase_path(path, gv_netnumbase);
    const int fd = journal_open(path, O_RDWR, __func__);
    _netnum_pass_t pass;
    if (fd >= 0) {
        journal_lock(fd, F_WRLCK, path, __func__);
        netnum_pass(fd, number.c_str(), "", &pass);
    }
    ActionResult result{409, "The occupancy journal holds no car " + number + "."};
    if (fd < 0) {
        result = {500, std::string("The occupancy journal cannot be opened: ") + strerror(errno)};
    } else if (pass.offset >= 0) {
        // As an exit sets them, or an admitted entry.
        _netnum_rec_t& car = pass.car;
        car.places = action == "left" ? 0 : 1;
        if (action == "left")
            car.out_time = static_cast<int32_t>(now);
        else
            car.in_time = static_cast<int32_t>(since);
        const bool written = pwrite(fd, &car, sizeof car, pass.offset) == sizeof car;
        result = written ? ActionResult{200, "Corrected."}
                         : ActionResult{500, std::string("Not written: ") + strerror(errno)};
    }
    if (fd >= 0)
        close(fd);
    LOG("%s: occupancy %s %s%s: %s\n", escaped_text(user).c_str(), action.c_str(), number.c_str(),
        action == "inside" ? (" since " + form_value(form, "since")).c_str() : "",
        result.status == 200 ? "done" : result.message.c_str());
    return result;
}
