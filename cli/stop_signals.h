// Ctrl-C, SIGTERM and SIGHUP while a batch runs. The first asks the batch to stop after the
// frames in flight (g_interrupted). A thread that cannot come back (an open() that waits on a
// pipe, a hung network file system or driver) must not keep the process: a second after the
// signal, or at once on a second one, the process removes its temporary files, says so and ends.
#pragma once

#include <condition_variable>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace fxaa_cli {

// "SIGTERM", for messages.
std::string SignalName(int signal);

// The stop signals' handlers and their watch while a batch runs; the handlers found are put back
// when it ends. A signal the process was started ignoring stays ignored.
class StopSignalHandlers {
 public:
  // `err` gets the message of a process that ends on its own.
  explicit StopSignalHandlers(std::ostream& err);
  ~StopSignalHandlers();
  StopSignalHandlers(const StopSignalHandlers&) = delete;
  StopSignalHandlers& operator=(const StopSignalHandlers&) = delete;

  // The signal that asked the batch to stop, or 0.
  static int Received();

 private:
  void Watch();

  std::ostream& err_;
  std::vector<std::pair<int, void (*)(int)>> previous_;
  std::mutex mutex_;
  std::condition_variable ended_;
  bool done_ = false;
  std::thread watch_;
};

}  // namespace fxaa_cli
