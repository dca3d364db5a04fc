// Any bytes as a scenario file: the parser must report, never crash, and
// whatever it accepts must be a timeline that answers for every frame.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/camera/scenario.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    scenario_t scenario;
    std::vector<scenario_problem> problems;
    const int bad = scenario_parse(reinterpret_cast<const char*>(data), size, &scenario, &problems);
    if (bad != static_cast<int>(problems.size()))
        abort();
    unsigned latest = 0;
    for (const scenario_event& event : scenario.events) {
        if (event.start < latest ||
            (event.kind == SCENARIO_SCENE && event.scene.body[sizeof event.scene.body - 1] != 0))
            abort();
        latest = event.start;
        scene_t scene;
        for (unsigned frame : {event.start, event.start + event.frames, latest + 1})
            if (scenario_frame(scenario, frame, &scene) == 0 && scene.car && scene.body[0] == 0)
                abort();
        scenario_open_error(scenario, event.start, event.device);
    }
    return 0;
}
