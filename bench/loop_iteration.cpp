// The loop's own cost per frame against its 10 ms pause. The capture hands
// over a ready frame and the engine sees no plate, so what is measured is
// the rest of an idle iteration as on the board: the zero block, the
// state-manager poll (both over the real stand-ins) and the preview, which
// the pause's clock brings once every 100 frames. The pause itself only
// moves that clock; Pause measures the real one for comparison.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <benchmark/benchmark.h>

#include "board/lpr.h"
#include "core/dravelber.h"
#include "links/shmgr_link.h"
#include "links/statemgr_link.h"
#include "platform/shmgr/shmgr_reader.h"
#include "platform/statemgr/statemgrd.h"
#include "support/gv.h"
#include "support/msleep_ts.h"
#include "support/process_values.h"
#include "tests/core/fake_clock.h"
#include "video/capture.h"
#include "video/capture_repack.h"

namespace {

constexpr int frames_per_run = 1000;
int frames_left = 0;

// A camera picture's worth of detail for the preview's JPEG.
std::vector<unsigned char> make_frame() {
    std::vector<unsigned char> frame(frame_bytes);
    unsigned state = 1;
    for (size_t i = 0; i < frame.size(); ++i) {
        state = state * 1103515245u + 12345u;
        frame[i] = static_cast<unsigned char>(i % frame_width / 3 + (state >> 28));
    }
    return frame;
}

class IdleEngine : public Brisvale::LPR {
  public:
    Brisvale::SingleResult recognizeSingle(const unsigned char*, int, int) override { return {}; }
    std::pair<bool, Brisvale::StreamResult> recognizeStream(int, const unsigned char*, int,
                                                            int) override {
        return {};
    }
    void reservedOperation() override {}
    void setParameters(const RecognizerParams*) override {}
};

// The state manager and the stream of this benchmark alone.
class Board {
  public:
    Board() {
        snprintf(socket_, sizeof socket_, "/tmp/dravel-bench-%d.sock", static_cast<int>(getpid()));
        char prefix[64];
        snprintf(prefix, sizeof prefix, "/dravel-bench-%d", static_cast<int>(getpid()));
        setenv("STATEMGR_SOCKET", socket_, 1);
        setenv("SHMGR_PREFIX", prefix, 1);
        const int listening = statemgrd_listen(socket_);
        daemon_ = fork();
        if (daemon_ == 0) {
            static volatile sig_atomic_t never = 0;
            _exit(statemgrd_serve(listening, &never));
        }
        close(listening);
        ready_ = daemon_ > 0 && connect_shmgr() == 0 && statemgr_connect("bench") == 0;
    }
    ~Board() {
        statemgr_disconnect();
        disconnect_shmgr();
        shmgrRemoveChannel(0);
        if (daemon_ > 0) {
            kill(daemon_, SIGKILL);
            waitpid(daemon_, nullptr, 0);
        }
        unlink(socket_);
    }
    bool ready() const { return ready_; }

  private:
    char socket_[64];
    pid_t daemon_ = -1;
    bool ready_ = false;
};

void LoopIteration(benchmark::State& state) {
    Board board;
    if (!board.ready()) {
        state.SkipWithError("no state manager or stream");
        return;
    }
    std::vector<unsigned char> frame = make_frame();
    gv.frame_buffer.address = frame.data();
    gv.recogn_single = 0;
    IdleEngine engine;
    fake_clock::start(1700000000000LL);
    const auto begin = std::chrono::steady_clock::now();
    for (auto _ : state) {
        stop = 0;
        frames_left = frames_per_run;
        dravelber(&engine);
    }
    const std::chrono::duration<double, std::micro> spent =
        std::chrono::steady_clock::now() - begin;
    fake_clock::finish();
    gv.frame_buffer.address = nullptr;
    // Wall time, as the pace of the loop goes by it: the poll waits for the
    // state manager's answer.
    const double frame_us =
        spent.count() / (static_cast<double>(state.iterations()) * frames_per_run);
    state.counters["frame_us"] = frame_us;
    state.counters["pause_percent"] = frame_us / 100.0;
}
BENCHMARK(LoopIteration)->Unit(benchmark::kMillisecond)->UseRealTime();

void Pause(benchmark::State& state) {
    const timespec pause = {0, 10 * 1000 * 1000};
    for (auto _ : state)
        nanosleep(&pause, nullptr);
}
BENCHMARK(Pause)->Unit(benchmark::kMillisecond);

} // namespace

// The capture: the frame is already in place.
int video_Capture_frame(_video_buffer*) {
    return 0;
}

// The pause: moves the loop's clock, and ends a run after its frames.
int msleep_ts(int ms) {
    fake_clock::advance(ms);
    if (--frames_left == 0)
        stop = 1;
    return 0;
}

BENCHMARK_MAIN();
