#include "platform/camera/scenario.h"

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/lpr/plate_layout.h"

namespace {

struct error_name {
    const char* name;
    int value;
};

// The failures a camera driver plausibly reports; others by number.
const error_name ERROR_NAMES[] = {
    {"ETIME", ETIME},   {"ERESTART", ERESTART},   {"EIO", EIO},       {"EINTR", EINTR},
    {"EAGAIN", EAGAIN}, {"EBUSY", EBUSY},         {"ENODEV", ENODEV}, {"ENOENT", ENOENT},
    {"ENXIO", ENXIO},   {"EACCES", EACCES},       {"EPERM", EPERM},   {"ENOMEM", ENOMEM},
    {"EINVAL", EINVAL}, {"ETIMEDOUT", ETIMEDOUT}, {"EFAULT", EFAULT},
};

constexpr size_t MAX_BODY = sizeof(scene_t::body) - 1;
constexpr size_t MAX_SUFFIX = sizeof(scene_t::suffix) - 1;
constexpr unsigned MAX_SECONDS_DIGITS = 7; // about 115 days
constexpr int MAX_ERRNO = 4095;

using tokens_t = std::vector<std::string>;

bool all_digits(const std::string& text) {
    if (text.empty())
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// Decimal with at most `digits` digits (so it cannot overflow).
bool parse_unsigned(const std::string& text, size_t digits, unsigned* value) {
    if (!all_digits(text) || text.size() > digits)
        return false;
    *value = 0;
    for (char c : text)
        *value = *value * 10 + static_cast<unsigned>(c - '0');
    return true;
}

// Seconds such as "12" or "2.48", rounded to the nearest frame.
bool parse_seconds(const std::string& text, unsigned* frame) {
    const size_t dot = text.find('.');
    unsigned whole = 0;
    if (!parse_unsigned(text.substr(0, dot), MAX_SECONDS_DIGITS, &whole))
        return false;
    uint64_t micros = static_cast<uint64_t>(whole) * 1000000;
    if (dot != std::string::npos) {
        const std::string fraction = text.substr(dot + 1);
        if (!all_digits(fraction))
            return false;
        uint64_t scale = 100000;
        for (size_t i = 0; i < fraction.size() && scale > 0; ++i, scale /= 10)
            micros += static_cast<uint64_t>(fraction[i] - '0') * scale;
    }
    *frame = static_cast<unsigned>((micros * SCENARIO_FRAMES_PER_SECOND + 500000) / 1000000);
    return true;
}

bool parse_error(const std::string& text, int* error) {
    for (const auto& known : ERROR_NAMES)
        if (text == known.name) {
            *error = known.value;
            return true;
        }
    unsigned value = 0;
    if (!parse_unsigned(text, 4, &value) || value == 0 || value > MAX_ERRNO)
        return false;
    *error = static_cast<int>(value);
    return true;
}

bool parse_device(const std::string& text, camera_device* device) {
    const char* names[CAMERA_DEVICE_COUNT] = {"mem", "csi", "video"};
    for (int d = 0; d < CAMERA_DEVICE_COUNT; ++d)
        if (text == names[d]) {
            *device = static_cast<camera_device>(d);
            return true;
        }
    return false;
}

bool plate_text(const std::string& text, size_t longest) {
    if (text.empty() || text.size() > longest)
        return false;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z')))
            return false;
    return true;
}

// "unreadable=2,5": positions from 1 over body then suffix.
bool parse_unreadable(const std::string& list, size_t characters, uint32_t* mask) {
    size_t from = 0;
    do {
        const size_t comma = list.find(',', from);
        unsigned position = 0;
        if (!parse_unsigned(list.substr(from, comma - from), 2, &position) || position == 0 ||
            position > characters)
            return false;
        *mask |= 1u << (position - 1);
        from = comma == std::string::npos ? comma : comma + 1;
    } while (from != std::string::npos);
    return true;
}

// Each parse_* below fills `event` from the tokens after the event name and
// returns an empty string, or what is wrong with the line.
std::string parse_car(const tokens_t& args, scenario_event* event) {
    scene_t& scene = event->scene;
    scene.car = true;
    std::vector<std::string> texts;
    std::string unreadable;
    for (const std::string& arg : args) {
        const size_t equals = arg.find('=');
        if (equals == std::string::npos) {
            texts.push_back(arg);
            continue;
        }
        const std::string key = arg.substr(0, equals), value = arg.substr(equals + 1);
        unsigned kind = 0;
        if (key == "kind") {
            if (!parse_unsigned(value, 2, &kind) || kind > static_cast<unsigned>(plate::KIND_MAX))
                return "kind must be a number from 0 to 15";
            scene.kind = static_cast<int>(kind);
        } else if (key == "unreadable") {
            unreadable = value;
        } else {
            return "unknown car option \"" + key + "\"";
        }
    }
    if (texts.empty() || texts.size() > 2)
        return "a car needs a plate body and at most a suffix";
    if (!plate_text(texts[0], MAX_BODY))
        return "plate body must be 1 to 15 digits or capital letters";
    if (texts.size() == 2 && !plate_text(texts[1], MAX_SUFFIX))
        return "plate suffix must be 1 to 7 digits or capital letters";
    memcpy(scene.body, texts[0].data(), texts[0].size());
    if (texts.size() == 2)
        memcpy(scene.suffix, texts[1].data(), texts[1].size());
    const size_t characters = strlen(scene.body) + strlen(scene.suffix);
    if (!unreadable.empty() && !parse_unreadable(unreadable, characters, &scene.unreadable))
        return "unreadable wants positions 1 to " + std::to_string(characters) + ", e.g. 2,5";
    return "";
}

// "ERROR [DURATION]" at the end of a failure line.
std::string parse_failure(const tokens_t& args, size_t at, scenario_event* event) {
    if (args.size() <= at || args.size() > at + 2)
        return "expected an error number or name, then optionally a duration";
    if (!parse_error(args[at], &event->error))
        return "unknown error \"" + args[at] + "\"";
    if (args.size() == at + 2) {
        if (!parse_seconds(args[at + 1], &event->frames))
            return "bad duration \"" + args[at + 1] + "\"";
        if (event->frames == 0)
            return "duration shorter than one frame";
    }
    return "";
}

std::string parse_device_failure(const tokens_t& args, scenario_event* event) {
    if (args.empty() || !parse_device(args[0], &event->device))
        return "expected a device: mem, csi or video";
    if (event->kind == SCENARIO_CONFIG_FAIL && event->device == CAMERA_MEM_MGR)
        return "only csi and video are configured";
    return parse_failure(args, 1, event);
}

std::string parse_event(const std::string& name, const tokens_t& args, scenario_event* event) {
    if (name == "empty") {
        event->kind = SCENARIO_SCENE;
        return args.empty() ? "" : "empty takes no arguments";
    }
    if (name == "car") {
        event->kind = SCENARIO_SCENE;
        return parse_car(args, event);
    }
    if (name == "loss") {
        event->kind = SCENARIO_LOSS;
        return parse_failure(args, 0, event);
    }
    if (name == "open-fail" || name == "config-fail") {
        event->kind = name == "open-fail" ? SCENARIO_OPEN_FAIL : SCENARIO_CONFIG_FAIL;
        return parse_device_failure(args, event);
    }
    return "unknown event \"" + name + "\"";
}

tokens_t split_words(const std::string& line) {
    tokens_t words;
    size_t at = 0;
    const char* blanks = " \t\r\v\f";
    while ((at = line.find_first_not_of(blanks, at)) != std::string::npos) {
        const size_t end = line.find_first_of(blanks, at);
        words.push_back(line.substr(at, end - at));
        at = end;
    }
    return words;
}

bool covers(const scenario_event& event, unsigned frame) {
    return event.start <= frame && (event.frames == 0 || frame - event.start < event.frames);
}

// The errno of the latest failure of `kind` on `device` that covers `frame`.
int failure_at(const scenario_t& scenario, unsigned frame, scenario_event_kind kind,
               camera_device device) {
    int error = 0;
    for (const scenario_event& event : scenario.events)
        if (event.kind == kind && event.device == device && covers(event, frame))
            error = event.error;
    return error;
}

} // namespace

int scenario_parse(const char* text, size_t length, scenario_t* scenario,
                   std::vector<scenario_problem>* problems) {
    int bad = 0;
    unsigned number = 0, latest = 0;
    size_t from = 0;
    while (from < length) {
        const char* end = static_cast<const char*>(memchr(text + from, '\n', length - from));
        const size_t to = end ? static_cast<size_t>(end - text) : length;
        std::string line(text + from, to - from);
        from = to + 1;
        ++number;
        line = line.substr(0, line.find('#'));
        const tokens_t words = split_words(line);
        if (words.empty())
            continue;
        scenario_event event;
        memset(&event, 0, sizeof event);
        std::string problem;
        if (words.size() < 2 || !parse_seconds(words[0], &event.start))
            problem = "expected a time in seconds and an event";
        else if (event.start < latest)
            problem = "time goes back: events must be in the order of their times";
        else if (words[1] == "hold" && words.size() != 3)
            problem = "hold needs the file that ends it";
        else if (words[1] == "hold")
            scenario->holds.push_back({event.start, words[2]});
        else
            problem = parse_event(words[1], tokens_t(words.begin() + 2, words.end()), &event);
        if (problem.empty()) {
            latest = event.start;
            if (words[1] != "hold")
                scenario->events.push_back(event);
        } else {
            ++bad;
            problems->push_back({number, problem});
        }
    }
    return bad;
}

int scenario_frame(const scenario_t& scenario, unsigned frame, scene_t* scene) {
    memset(scene, 0, sizeof *scene);
    int error = 0;
    for (const scenario_event& event : scenario.events) {
        if (event.start > frame)
            break;
        if (event.kind == SCENARIO_SCENE)
            *scene = event.scene;
        else if (event.kind == SCENARIO_LOSS && covers(event, frame))
            error = event.error;
    }
    return error;
}

int scenario_open_error(const scenario_t& scenario, unsigned frame, camera_device device) {
    return failure_at(scenario, frame, SCENARIO_OPEN_FAIL, device);
}

int scenario_config_error(const scenario_t& scenario, unsigned frame, camera_device device) {
    return failure_at(scenario, frame, SCENARIO_CONFIG_FAIL, device);
}
