// Tests that install the service's handlers start from default actions (a
// sanitizer has its own for the fault signals) and give back what they found.
#pragma once

#include <csignal>
#include <iterator>

class DefaultSignalActions {
  public:
    DefaultSignalActions() {
        for (size_t i = 0; i < std::size(signals_); ++i) {
            sigaction(signals_[i], nullptr, &saved_[i]);
            signal(signals_[i], SIG_DFL);
        }
    }
    ~DefaultSignalActions() {
        for (size_t i = 0; i < std::size(signals_); ++i)
            sigaction(signals_[i], &saved_[i], nullptr);
    }
    DefaultSignalActions(const DefaultSignalActions&) = delete;
    DefaultSignalActions& operator=(const DefaultSignalActions&) = delete;

  private:
    static constexpr int signals_[] = {SIGSEGV, SIGBUS, SIGFPE, SIGQUIT, SIGINT, SIGTERM, SIGUSR1};
    struct sigaction saved_[std::size(signals_)];
};
