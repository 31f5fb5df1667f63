// Work over a list that the stand-ins split between the calling thread and
// one helper thread: reading /proc is most of a search, and the machine has
// more than one core.
#pragma once

#include <cstddef>
#include <functional>

namespace standin {

// Runs part(begin, end) over [0, count): the first half on this thread, the
// second on the helper, and returns when both are done. With no helper to
// be had (or one already busy) it runs the whole range here.
void SplitInTwo(size_t count, const std::function<void(size_t, size_t)>& part);

}  // namespace standin
