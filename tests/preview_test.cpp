// The window's preview without the window: how a page is drawn small or
// large, and the background loader where only the latest request counts.

#include "ui/page_picture.h"
#include "ui/preview_loader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

namespace pagelift {
namespace {

// A page of `width` x rows given as strings of '#' (black) and '.' (white),
// each row's unused bits set to `padding`.
PageBitmap pageOf(const std::vector<std::string>& rows, uint16_t yResolution = 196, bool blackPadding = true)
{
    PageBitmap page;
    page.width = int32_t(rows.front().size());
    page.rows = int32_t(rows.size());
    page.bytesPerRow = (page.width + 7) / 8;
    page.xResolution = 204;
    page.yResolution = int16_t(yResolution);
    page.pixels.assign(size_t(page.bytesPerRow) * rows.size(), blackPadding ? 0x00 : 0xFF);
    for (size_t y = 0; y < rows.size(); ++y) {
        for (size_t x = 0; x < rows[y].size(); ++x) {
            uint8_t& byte = page.pixels[y * size_t(page.bytesPerRow) + x / 8];
            const uint8_t bit = uint8_t(0x80 >> (x % 8));
            byte = rows[y][x] == '#' ? uint8_t(byte & ~bit) : uint8_t(byte | bit);
        }
    }
    return page;
}

TEST(PreviewPictures, AreTheShareOfWhiteInThePagePixelsTheyCover)
{
    struct Case {
        const char* what;
        PageBitmap page;
        int width;
        int height;
        std::vector<int> gray;  // row by row
    };
    const Case cases[] = {
        {"bits past the width are not counted", pageOf({"..."}, 196, true), 1, 1, {255}},
        {"half black rounds to the nearest level", pageOf({"####...."}), 1, 1, {128}},
        {"a ninth black", pageOf({"#..", "...", "..."}), 1, 1, {227}},
        {"enlarged: the page pixel under each", pageOf({"#.", ".#"}), 4, 2, {0, 0, 255, 255, 255, 255, 0, 0}},
        {"standard rows are repeated", pageOf({"#", "."}, 98), 1, 4, {0, 0, 255, 255}},
        {"standard rows halved back", pageOf({"#", "."}, 98), 1, 2, {0, 255}},
        {"uneven spans cover every pixel once", pageOf({"#.#.#"}), 2, 1, {128, 85}},
    };
    for (const Case& test : cases) {
        const PagePicture picture = pictureOf(test.page, test.width, test.height);
        ASSERT_EQ(picture.width, test.width) << test.what;
        ASSERT_EQ(picture.height, test.height) << test.what;
        std::vector<int> gray(picture.gray.begin(), picture.gray.end());
        EXPECT_EQ(gray, test.gray) << test.what;
    }
    PageBitmap cut = pageOf({"#.", ".#"});
    cut.pixels.pop_back();  // declares more rows than it holds
    EXPECT_TRUE(pictureOf(cut, 2, 2).gray.empty());
    EXPECT_TRUE(pictureOf(pageOf({"#"}), 0, 5).gray.empty());
    EXPECT_EQ(trueShapeOf(pageOf({"#", "."}, 98)).height, 4);
    EXPECT_EQ(heightAtWidth({1728, 2200}, 864), 1100);
    // No zoom makes a picture beyond the bound, however large the page.
    const PageShape huge{20000, 30000};
    EXPECT_LE(PreviewZoom::bounded(4.0, huge) * PreviewZoom::bounded(4.0, huge) * 20000.0 * 30000.0,
              double(PreviewZoom::kMaxPicturePixels) * 1.0001);
}

// A fax of `pages` pages, page i being i + 1 pixels wide.
class FakeFax final : public PreviewDocument {
public:
    explicit FakeFax(int pages) : pages_(pages) {}
    int pageCount() const override { return pages_; }
    PageBitmap page(int index) override
    {
        return pageOf({std::string(size_t(index) + 1, '#')});
    }

private:
    int pages_;
};

// Keeps what the loader told, and lets a test wait for it.
class Told final : public PreviewEvents {
public:
    struct News {
        std::string kind;
        uint64_t request;
        int index;
        bool operator==(const News&) const = default;
    };
    void opened(uint64_t request, int pageCount) override { add({"opened", request, pageCount}); }
    void failed(uint64_t request, const std::string& reason) override { add({"failed: " + reason, request, 0}); }
    void pageDecoded(uint64_t request, int index, std::shared_ptr<const PageBitmap> page) override
    {
        add({"page", request, index});
        EXPECT_EQ(page->width, index + 1);
    }
    void thumbnailMade(uint64_t request, int index, std::shared_ptr<const PagePicture> picture) override
    {
        add({"thumbnail", request, index});
        EXPECT_GT(picture->width, 0);
    }
    // The news once `count` have come (or what came within `limit`).
    std::vector<News> waitFor(size_t count, std::chrono::milliseconds limit = std::chrono::seconds(10))
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait_for(lock, limit, [&] { return news_.size() >= count; });
        return news_;
    }

private:
    void add(News news)
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        news_.push_back(std::move(news));
        changed_.notify_all();
    }
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<News> news_;
};

TEST(PreviewLoader, TellsOnlyOfTheLatestRequest)
{
    std::mutex mutex;
    std::condition_variable changed;
    bool released = false;
    std::vector<std::string> asked;
    Told told;
    // "first" is held until released; "bad" holds no fax; the rest have
    // as many pages as their name's length.
    PreviewLoader loader(
        told,
        [&](const std::string& path, const DecodeSetup&) {
            std::unique_lock<std::mutex> lock(mutex);
            asked.push_back(path);
            changed.notify_all();
            if (path == "first") changed.wait(lock, [&] { return released; });
            OpenedPreview opened;
            if (path == "bad") {
                opened.failure = "Failed : bad - Not Fax";
            } else {
                opened.document = std::make_unique<FakeFax>(int(path.size()));
            }
            return opened;
        },
        16);

    loader.show("first", {});
    {
        std::unique_lock<std::mutex> lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(10), [&] { return !asked.empty(); }));
    }
    loader.show("second", {});
    const uint64_t latest = loader.show("abc", {});
    {
        const std::lock_guard<std::mutex> lock(mutex);
        released = true;
        changed.notify_all();
    }
    // Opened, its first page, then a thumbnail of each of its 3 pages.
    const std::vector<Told::News> expected{{"opened", latest, 3},   {"page", latest, 0},
                                           {"thumbnail", latest, 0}, {"thumbnail", latest, 1},
                                           {"thumbnail", latest, 2}};
    EXPECT_EQ(told.waitFor(5), expected);
    EXPECT_EQ(asked, (std::vector<std::string>{"first", "abc"}));  // "second" went by

    loader.wantPage(latest, 10);      // past the end: the last page
    loader.wantPage(latest - 1, 0);   // an old request asks nothing
    EXPECT_EQ(told.waitFor(6).back(), (Told::News{"page", latest, 2}));

    const uint64_t one = loader.show("a", {});
    EXPECT_EQ(told.waitFor(8).back(), (Told::News{"page", one, 0}));  // one page: no thumbnails
    const uint64_t bad = loader.show("bad", {});
    EXPECT_EQ(told.waitFor(9).back(), (Told::News{"failed: Failed : bad - Not Fax", bad, 0}));
    EXPECT_EQ(told.waitFor(10, std::chrono::milliseconds(300)).size(), 9u);  // and nothing after it
}

}  // namespace
}  // namespace pagelift
