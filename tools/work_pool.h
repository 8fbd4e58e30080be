#pragma once
// Runs numbered tasks on a few threads. Which thread runs which task, and in what order they
// finish, is left to the scheduler: callers put each result in the slot of its number, so
// what they make of the results does not depend on it.
#include <cstddef>
#include <functional>

namespace hotfix::tools {

// The threads worth starting for `tasks` tasks: the machine's cores, at most `limit`, at most
// one a task, at least one. For example WorkersFor(3000, 0) is 2 on a two-core machine,
// WorkersFor(1, 0) is 1, and WorkersFor(3000, 1) is 1. `limit` 0 means no limit of the caller's.
unsigned WorkersFor(std::size_t tasks, unsigned limit);

// Calls task(0) … task(count - 1), each exactly once, on `workers` threads (1: on this thread
// only), and returns when all have returned. When tasks throw, the exception of the lowest
// numbered failing task is rethrown here, so that the same failure is reported on every run;
// once a task has failed, tasks not yet started are skipped.
void RunNumbered(std::size_t count, unsigned workers, const std::function<void(std::size_t)>& task);

} // namespace hotfix::tools
