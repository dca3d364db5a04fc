// Where the fake camera's pictures and its timeline come from.
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/camera/fake_state.h"

namespace {

// Reads a whole file with the C library's own calls, which the fake's
// replacements would only pass on.
bool read_file(const char* path, std::string* text) {
    const int fd = real().open(path, O_RDONLY);
    if (fd < 0)
        return false;
    char chunk[4096];
    ssize_t got;
    while ((got = read(fd, chunk, sizeof chunk)) > 0)
        text->append(chunk, static_cast<size_t>(got));
    real().close(fd);
    return got == 0;
}

// The file and the frame within it that plays as frame `frame`.
const frame_file_t* file_of_frame(const fake_state_t& state, unsigned frame, unsigned* within) {
    unsigned index = frame % state.file_frames;
    for (const frame_file_t& file : state.frame_files) {
        if (index < file.frames) {
            *within = index;
            return &file;
        }
        index -= file.frames;
    }
    return nullptr;
}

int read_frame(const fake_state_t& state, unsigned char* pal_frame, unsigned frame) {
    unsigned within = 0;
    const frame_file_t* file = file_of_frame(state, frame, &within);
    const int fd = file ? real().open(file->path.c_str(), O_RDONLY) : -1;
    if (fd < 0) {
        report("cannot open frame file %s: %s\n", file ? file->path.c_str() : "?", strerror(errno));
        return EIO;
    }
    const ssize_t got = pread(fd, pal_frame, PAL_FRAME_BYTES,
                              static_cast<off_t>(within) * static_cast<off_t>(PAL_FRAME_BYTES));
    real().close(fd);
    if (got != static_cast<ssize_t>(PAL_FRAME_BYTES)) {
        report("cannot read frame %u of %s\n", within, file->path.c_str());
        return EIO;
    }
    return 0;
}

} // namespace

void report(const char* fmt, ...) {
    char line[512];
    const int prefix = snprintf(line, sizeof line, "camera-fake: ");
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(line + prefix, sizeof line - static_cast<size_t>(prefix), fmt, ap);
    va_end(ap);
    // One write keeps the line whole among the service's own output.
    const ssize_t written = write(STDERR_FILENO, line, strlen(line));
    (void)written;
}

int load_scenario_text(fake_state_t& state, const char* text, size_t length) {
    state.scenario.events.clear();
    std::vector<scenario_problem> problems;
    state.scenario_problems = scenario_parse(text, length, &state.scenario, &problems);
    for (const scenario_problem& problem : problems)
        report("scenario line %u: %s\n", problem.line, problem.message.c_str());
    return state.scenario_problems;
}

int load_scenario_file(fake_state_t& state, const char* path) {
    std::string text;
    if (!read_file(path, &text)) {
        report("cannot read scenario %s: %s\n", path, strerror(errno));
        state.scenario.events.clear();
        return state.scenario_problems = 1;
    }
    return load_scenario_text(state, text.data(), text.size());
}

int load_frame_files(fake_state_t& state, const char* paths) {
    state.frame_files.clear();
    state.file_frames = 0;
    state.frame_problems = 0;
    const std::string list = paths ? paths : "";
    size_t from = 0;
    while (from < list.size()) {
        size_t colon = list.find(':', from);
        if (colon == std::string::npos)
            colon = list.size();
        const std::string path = list.substr(from, colon - from);
        from = colon + 1;
        struct stat info;
        if (path.empty())
            continue;
        if (stat(path.c_str(), &info) != 0) {
            report("cannot use frame file %s: %s\n", path.c_str(), strerror(errno));
            ++state.frame_problems;
        } else if (info.st_size < static_cast<off_t>(PAL_FRAME_BYTES) ||
                   info.st_size % static_cast<off_t>(PAL_FRAME_BYTES) != 0) {
            report("frame file %s does not hold whole 720 x 576 4:2:0 frames of %zu bytes\n",
                   path.c_str(), PAL_FRAME_BYTES);
            ++state.frame_problems;
        } else {
            const unsigned frames = static_cast<unsigned>(info.st_size / PAL_FRAME_BYTES);
            state.frame_files.push_back({path, frames});
            state.file_frames += frames;
        }
    }
    return state.frame_problems;
}

void load_environment(fake_state_t& state) {
    if (state.loaded)
        return;
    state.loaded = true;
    if (!state.env_scenario.empty())
        load_scenario_file(state, state.env_scenario.c_str());
    load_frame_files(state, state.env_frames.c_str());
    state.pattern = state.env_pattern;
    open_frame_log(state, state.env_log.c_str());
}

int open_frame_log(fake_state_t& state, const char* path) {
    if (state.frame_log >= 0)
        real().close(state.frame_log);
    state.frame_log = -1;
    if (path == nullptr || path[0] == '\0')
        return 0;
    state.frame_log = real().open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (state.frame_log >= 0)
        return 0;
    const int error = errno;
    report("cannot open frame log %s: %s\n", path, strerror(error));
    return error;
}

void log_frame(const fake_state_t& state, unsigned frame, const scene_t& scene) {
    if (state.frame_log < 0)
        return;
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    char line[128];
    int length = snprintf(line, sizeof line, "%lld.%06ld %u ", static_cast<long long>(now.tv_sec),
                          now.tv_nsec / 1000, frame);
    if (scene.car)
        length += snprintf(line + length, sizeof line - static_cast<size_t>(length),
                           "car %.*s %.*s\n", static_cast<int>(sizeof scene.body), scene.body,
                           static_cast<int>(sizeof scene.suffix), scene.suffix);
    else
        length += snprintf(line + length, sizeof line - static_cast<size_t>(length), "empty\n");
    const ssize_t written = write(state.frame_log, line, static_cast<size_t>(length));
    (void)written;
}

int write_picture(fake_state_t& state, unsigned char* pal_frame, unsigned frame,
                  const scene_t& scene) {
    if (state.pattern) {
        for (uint32_t i = 0; i < PAL_FRAME_BYTES; ++i)
            pal_frame[i] = camera_pattern_byte(frame, i);
        return 0;
    }
    if (state.file_frames > 0)
        return read_frame(state, pal_frame, frame);
    render_scene(pal_frame, scene, frame);
    return 0;
}

unsigned char camera_pattern_byte(unsigned frame, uint32_t offset) {
    uint32_t x = offset * 0x9E3779B1u + frame * 0x85EBCA77u;
    x ^= x >> 15;
    x *= 0x2C1B3C6Du;
    x ^= x >> 12;
    x *= 0x297A2D39u;
    x ^= x >> 15;
    return static_cast<unsigned char>(x >> 24);
}
