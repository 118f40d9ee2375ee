#include "ccitt/run_list.h"


namespace pagelift {

RunBuffers::RunBuffers(uint32_t capacity) : first_(capacity == 0 ? 1 : capacity), second_(first_.size())
{
    const uint32_t usable = uint32_t(first_.size());
    current_ = RunList{0, 0, first_.data(), usable};
    reference_ = RunList{0, 0, second_.data(), usable};
}

void RunBuffers::resetReferenceToWhite(int32_t width)
{
    reference_.runs[0] = width;
    reference_.count = 1;
    reference_.next = 0;
}

}  // namespace pagelift
