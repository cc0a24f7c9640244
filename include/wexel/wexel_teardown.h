// Deferred teardown: stopping a connection manager joins its threads, so a
// stop asked for on one of those threads is handed to a thread of its own.
#pragma once

#include <functional>

namespace wexel {

// Runs job on a teardown thread and returns at once.
void deferTeardown(std::function<void()> job);
// Waits until every deferred job has finished.
void waitForTeardowns();

}  // namespace wexel
