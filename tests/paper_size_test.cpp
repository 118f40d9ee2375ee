#include "ccitt/paper_size.h"

#include <gtest/gtest.h>

namespace pagelift {
namespace {

TEST(PaperSizeForWidth, ClassesEachWidthByTheFirstLimitItFits)
{
    struct Case {
        int32_t width;
        uint16_t resolution;
        uint8_t paper;
    };
    const Case cases[] = {
        {1, 200, PaperA4},    {1728, 200, PaperA4}, {1729, 200, PaperB4}, {2048, 200, PaperB4},
        {2432, 200, PaperA3}, {2592, 300, PaperA4}, {3072, 300, PaperB4}, {3456, 400, PaperA4},
        {3457, 300, PaperA3}, {3600, 300, PaperA3}, {3648, 300, PaperA3}, {4096, 400, PaperB4},
        {4864, 400, PaperA3}, {5000, 400, PaperA3},
    };
    for (const Case& c : cases) {
        const PaperClass paper = paperSizeForWidth(c.width);
        EXPECT_EQ(paper.xResolution, c.resolution) << "width " << c.width;
        EXPECT_EQ(paper.paperSize, c.paper) << "width " << c.width;
    }
}

}  // namespace
}  // namespace pagelift
