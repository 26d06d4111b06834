#include "embedding/render_worker.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <type_traits>

#include "embedding/diagnostic_line.h"
#include "gl/gl_context.h"
#include "gl/gl_limits.h"
#include "host_runtime/registry_lock.h"

namespace fxaa_embedding {
namespace {

using host_runtime::Failure;

// Process-wide: whether a worker found that no context can be made. Plain data under a lock
// whose destructor is trivial, so that unloading the module runs nothing of it.
static_assert(std::is_trivially_destructible<host_runtime::RegistryLock>::value,
              "module-wide state must leave nothing to run at unload");
host_runtime::RegistryLock g_unavailableLock;
bool g_unavailable = false;
char g_unavailableWhy[512];  // room for what the system lacks and the packages that bring it

void MarkUnavailable(const std::string& why) {
  std::lock_guard<host_runtime::RegistryLock> lock(g_unavailableLock);
  g_unavailable = true;
  std::snprintf(g_unavailableWhy, sizeof(g_unavailableWhy), "%s", why.c_str());
}

// The plug-in refuses a frame with one code for several causes; its diagnostic line on the
// thread names which. Only a context that was never made means no frame can render here: the
// rest (a program that did not build, a GL error, a host call that failed or threw) may pass
// and are tried again. `failure` is left as it is where the line says nothing more.
Failure NamedCause(Failure failure) {
  if (failure.kind != Failure::Kind::kNoContext &&
      !(failure.kind == Failure::Kind::kPlugin && failure.code == PF_Err_INTERNAL_STRUCT_DAMAGED))
    return failure;
  const std::string line = LastDiagnosticLine();
  auto says = [&line](const char* start) { return line.rfind(start, 0) == 0; };
  const PF_Err code = PF_Err_INTERNAL_STRUCT_DAMAGED;
  if (says("error on local_render_data.get()"))
    return Failure::Of(Failure::Kind::kNoContext, "no OpenGL 3.2 core context can be made");
  if (says("error on context switch"))
    return Failure{Failure::Kind::kPlugin, code, "the OpenGL context could not be made current"};
  if (says("error on shader programs"))
    return Failure{Failure::Kind::kPlugin, code, "the effect's shader programs did not build"};
  if (says("error on OpenGL")) {
    const size_t at = line.find(" err2 ");
    const long error = at == std::string::npos ? 0 : std::strtol(line.c_str() + at + 6, nullptr, 10);
    char cause[80];
    std::snprintf(cause, sizeof(cause), "the GPU failed the frame (OpenGL error 0x%04lX)", error);
    return Failure{Failure::Kind::kPlugin, code, cause};
  }
  if (says("error on buffer checkout") || says("error on param"))
    return Failure{Failure::Kind::kPlugin, code, "a call into the host failed (" + line + ")"};
  if (failure.kind == Failure::Kind::kNoContext)  // no line: the plug-in stopped on a throw
    return Failure{Failure::Kind::kPlugin, code, "the effect stopped on an unexpected failure"};
  return failure;
}

}  // namespace

struct RenderWorker::Job {
  host_runtime::World* in;
  host_runtime::World* out;
  const host_runtime::FrameValues* values;
  Failure failure;
  bool done;
};

RenderWorker::RenderWorker(PF_FilterProc entry, std::string name)
    : entry_(entry), name_(std::move(name)) {}

RenderWorker::~RenderWorker() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

Failure RenderWorker::Render(host_runtime::World* in, host_runtime::World* out,
                             const host_runtime::FrameValues& values) {
  Job job{in, out, &values, Failure::None(), false};
  std::unique_lock<std::mutex> lock(mutex_);
  if (!thread_.joinable()) {
    try {
      thread_ = std::thread([this] { Work(); });
    } catch (const std::exception& e) {
      return Failure::Of(Failure::Kind::kNoThread,
                         std::string("no thread could be started to render on: ") + e.what());
    }
  }
  queue_.push_back(&job);
  changed_.notify_all();
  changed_.wait(lock, [&job] { return job.done; });
  return job.failure;
}

void RenderWorker::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (queue_.empty()) break;
    Job* job = queue_.front();
    queue_.pop_front();
    lock.unlock();
    RenderJob(job);
    lock.lock();
    job->done = true;
    changed_.notify_all();
  }
  lock.unlock();
  session_.reset();  // global set-down, on the thread that set up
}

bool RenderWorker::SetUp(Failure* failure) {
  std::string error;
  session_ = host_runtime::EffectSession::Open(entry_, name_, &error);
  if (!session_) {
    *failure = Failure::Of(Failure::Kind::kSetUp,
                           error.empty() ? "the effect could not be set up" : error);
    return false;
  }
  ForgetDiagnosticLine();
  const Failure probe = NamedCause(session_->Probe());
  if (!probe) return true;
  *failure = probe;
  if (probe.kind == Failure::Kind::kNoContext) {
    // What the system lacks, and where to get it, goes with every message that follows.
    const std::string lack = GlContextUnavailableReason();
    if (!lack.empty()) failure->cause += ": " + lack;
    noContext_ = *failure;
    MarkUnavailable(failure->cause);
  }
  session_.reset();  // set down on this thread; a cause that may pass is tried again
  return false;
}

int RenderWorker::LargestFrameSide() {
  if (largestSide_ < 0) largestSide_ = QueryLargestFrameSide();
  return largestSide_;
}

// The one boundary of the worker's thread: whatever the frame throws becomes its failure.
void RenderWorker::RenderJob(Job* job) {
  try {
    if (noContext_) {
      job->failure = noContext_;
      return;
    }
    if (!session_ && !SetUp(&job->failure)) return;
    ForgetDiagnosticLine();
    const PF_Err err = session_->Render(job->in, job->out, *job->values);
    if (err != 0)
      job->failure = NamedCause(session_->FrameFailure(err, job->in->width(), job->in->height(),
                                                       [this] { return LargestFrameSide(); }));
  } catch (const std::bad_alloc&) {
    job->failure = Failure::Of(Failure::Kind::kOutOfMemory, "out of memory");
  } catch (const std::exception& e) {
    job->failure = Failure::Of(Failure::Kind::kUnexpected, e.what());
  } catch (...) {
    job->failure = Failure::Of(Failure::Kind::kUnexpected, "an exception of no known type");
  }
}

bool EffectUnavailable(std::string* why) {
  std::lock_guard<host_runtime::RegistryLock> lock(g_unavailableLock);
  if (g_unavailable && why) *why = g_unavailableWhy;
  return g_unavailable;
}

void ForgetUnavailable() {
  std::lock_guard<host_runtime::RegistryLock> lock(g_unavailableLock);
  g_unavailable = false;
  g_unavailableWhy[0] = '\0';
}

}  // namespace fxaa_embedding
