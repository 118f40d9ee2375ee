#include "ccitt/run_list.h"

namespace pagelift {

RunBuffers::RunBuffers(uint32_t capacity)
{
    const uint32_t usable = capacity == 0 ? 1 : capacity;
    first_ = std::make_unique_for_overwrite<int32_t[]>(size_t(usable) + 1);
    second_ = std::make_unique_for_overwrite<int32_t[]>(size_t(usable) + 1);
    current_ = RunList{0, 0, first_.get(), usable};
    reference_ = RunList{0, 0, second_.get(), usable};
}

void RunBuffers::resetReferenceToWhite(int32_t width)
{
    reference_.runs[0] = width;
    reference_.count = 1;
    reference_.next = 0;
}

}  // namespace pagelift
