// Work over a list that the stand-ins share between the calling thread and
// one helper thread: reading /proc is most of a search, and the machine has
// more than one core.
#pragma once

#include <cstddef>
#include <functional>

namespace standin {

// Runs item(i) for every i in [0, count), on this thread and the helper,
// each taking the next index as it finishes one, and returns when all are
// done. With no helper to be had (or one already busy) it runs them here.
void ForEachOnTwo(size_t count, const std::function<void(size_t)>& item);

}  // namespace standin
