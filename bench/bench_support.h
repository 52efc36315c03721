// What the benchmarks share: messages that need no user, events served for a while, a raw
// pseudo-terminal, and the clocks of time, processor and memory they report in.
#pragma once

#include <QString>
#include <chrono>
#include <vector>

#include "panel/user_messages.h"

namespace tolvane::bench {

using Clock = std::chrono::steady_clock;

// Messages nobody reads: a benchmark has no user to answer them.
class SilentMessages final : public UserMessages {
  public:
    void show(const QString& /*text*/) override {}
};

// Answers every message at once; keeps the texts and when the last one came.
class AnsweringMessages final : public UserMessages {
  public:
    void show(const QString& text) override {
        texts.push_back(text);
        lastShown = Clock::now();
    }
    std::vector<QString> texts;
    Clock::time_point lastShown;
};

// Serves the panel's events for `length`, looking for them about every millisecond.
void runEventsFor(std::chrono::milliseconds length);

double msSince(Clock::time_point start);

// A pseudo-terminal in raw mode, both ends open; false (and both -1) when the system has none.
bool openRawPty(int& master, int& slave);

// The process's resident memory now, in KiB (VmRSS), and its peak (VmHWM).
long residentKiB();
long peakResidentKiB();
// Processor time of the calling thread, in seconds.
double threadCpuSeconds();

}  // namespace tolvane::bench
