// Deferred teardown: stopping a connection manager joins its threads, so a
// stop asked for on one of those threads is handed to a thread of its own.
// Each job's thread is joined as soon as the job ends, so a process that
// keeps reconnecting keeps no finished threads.
#pragma once

#include <functional>

namespace wexel {

// Runs job on a teardown thread and returns at once.
void deferTeardown(std::function<void()> job);
// Waits until every deferred job has finished and its thread has been joined;
// no teardown thread is left afterwards. Must not be called from a job.
void waitForTeardowns();

}  // namespace wexel
