#include "cli/stop_signals.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <system_error>

#include "cli/app.h"
#include "cli/batch.h"
#include "cli/image.h"
#include "cli/system.h"

namespace fxaa_cli {

namespace {

volatile std::sig_atomic_t g_stopSignal = 0;  // the first stop signal's number
volatile std::sig_atomic_t g_stopSignals = 0;  // how many came

void OnStopSignal(int signal) {
  if (g_stopSignal == 0) g_stopSignal = signal;
  g_stopSignals = g_stopSignals + 1;
  g_interrupted = true;
  std::signal(signal, OnStopSignal);  // Windows puts back the default before calling
}

// How often the watch looks for a signal (a handler may do nothing that wakes a thread), and how
// long the frames in flight have after one.
constexpr std::chrono::milliseconds kLook{50}, kGrace{900};

}  // namespace

std::string SignalName(int signal) {
  switch (signal) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
#ifdef SIGHUP
    case SIGHUP: return "SIGHUP";
#endif
  }
  return "signal " + std::to_string(signal);
}

StopSignalHandlers::StopSignalHandlers(std::ostream& err) : err_(err) {
  g_stopSignal = 0;
  g_stopSignals = 0;
  for (const int signal : StopSignals()) {
    const auto previous = std::signal(signal, OnStopSignal);
    if (previous == SIG_IGN) std::signal(signal, SIG_IGN);
    previous_.push_back({signal, previous == SIG_ERR ? SIG_DFL : previous});
  }
  // Without its watch a signal still stops the batch, only not a thread that does not return.
  try {
    watch_ = std::thread([this] { Watch(); });
  } catch (const std::system_error&) {
  }
}

StopSignalHandlers::~StopSignalHandlers() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    done_ = true;
  }
  ended_.notify_all();
  if (watch_.joinable()) watch_.join();
  for (const auto& [signal, handler] : previous_) std::signal(signal, handler);
}

int StopSignalHandlers::Received() { return g_stopSignal; }

void StopSignalHandlers::Watch() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!done_ && g_stopSignals == 0) ended_.wait_for(lock, kLook);
  const auto deadline = std::chrono::steady_clock::now() + kGrace;
  while (!done_ && g_stopSignals < 2 && std::chrono::steady_clock::now() < deadline)
    ended_.wait_for(lock, kLook);
  if (done_) return;
  RemoveOwnTemporaries();
  err_ << "fxaa: stopped by " << SignalName(g_stopSignal)
       << " with frames still in flight: they were abandoned, their files removed\n";
  err_.flush();
  std::_Exit(kExitSignalBase + g_stopSignal);
}

}  // namespace fxaa_cli
