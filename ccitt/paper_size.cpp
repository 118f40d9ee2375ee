#include "ccitt/paper_size.h"

namespace pagelift {

PaperClass paperSizeForWidth(int32_t width)
{
    // Tested in this order on purpose: 3456 (400 dpi A4) comes before 3648
    // (300 dpi A3), so widths 3457..3648 land in the 300 dpi A3 class.
    struct Limit {
        int32_t upTo;
        PaperClass paper;
    };
    static constexpr Limit limits[] = {
        {1728, {200, PaperA4}}, {2048, {200, PaperB4}}, {2432, {200, PaperA3}},
        {2592, {300, PaperA4}}, {3072, {300, PaperB4}}, {3456, {400, PaperA4}},
        {3648, {300, PaperA3}}, {4096, {400, PaperB4}},
    };
    for (const Limit& limit : limits) {
        if (width <= limit.upTo) return limit.paper;
    }
    return {400, PaperA3};
}

}  // namespace pagelift
