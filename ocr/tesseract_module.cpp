// The OCR module: recognition with the Tesseract library, one engine per
// thread and set of languages, so that the jobs of a run recognise pages
// side by side. Built on its own as a loadable module, with the few pieces
// of the page it needs; the programs open it only when a run asks for text.

#include "ocr/recognition_module.h"

#include "raster/page_size.h"
#include "raster/page_turn.h"

#include <leptonica/allheaders.h>
#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

#include <omp.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cctype>
#include <map>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

namespace pagelift {
namespace {

// The orientation detector's confidence from which a page is turned. Its
// answers on pages of text, in every orientation, fine and standard, measured
// 2.1 to 19.3 and were all right: two lines of text give 2 to 8, a full
// page 8 to 19. A page without text (a picture, specks) gives no answer.
constexpr float kTurnConfidence = 2.0f;

// Below this confidence a turn is confirmed: the page is read both ways and
// turned only when the turned reading is the surer one. Such pages hold
// little text, so the second reading costs little.
constexpr float kSureTurn = 8.0f;

// The bands a page is read in: two cores read a page in little more than
// half the time, and text is rarely cut into more bands than that without
// a white row to cut on.
constexpr int kBands = 2;

// Leptonica's messages (Tesseract's image library) are kept, the first of
// each reading on its thread, instead of going to the run's standard error:
// a reading that fails gives them as its reason. Kept by thread in a map,
// not in thread-local storage: a loaded module's dynamic TLS is what
// LeakSanitizer's scan of the main thread at exit fails on.
class LibraryWords {
public:
    // Starts a reading on this thread: no words yet.
    void clear()
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        words_.erase(std::this_thread::get_id());
    }
    // The first message of this thread's reading, blanks at its end dropped.
    void keep(const char* message)
    {
        if (message == nullptr) return;
        const std::lock_guard<std::mutex> lock(mutex_);
        std::string& words = words_[std::this_thread::get_id()];
        if (!words.empty()) return;
        words = message;
        while (!words.empty() && (words.back() == '\n' || words.back() == ' ')) words.pop_back();
    }
    // This thread's words, taken: none are left behind for it.
    std::string take()
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        const auto found = words_.find(std::this_thread::get_id());
        if (found == words_.end()) return {};
        std::string words = std::move(found->second);
        words_.erase(found);
        return words;
    }

private:
    std::mutex mutex_;
    std::map<std::thread::id, std::string> words_;
};

LibraryWords& libraryWords()
{
    static LibraryWords words;
    return words;
}

void keepLibraryMessage(const char* message) { libraryWords().keep(message); }

// Tesseract's messages go to its debug file; without one they would land in
// the run's standard error, between its report lines.
const std::vector<std::string> kQuietNames = {"debug_file"};
const std::vector<std::string> kQuietValues = {"/dev/null"};

// Engines loaded, by their languages, each used by one thread at a time and
// kept for the next page: loading one takes longer than a fifth of a page's
// recognition. Languages that fail to load are not remembered: the next
// request tries again, and finds data installed meanwhile.
class EnginePool {
public:
    using Engine = std::unique_ptr<tesseract::TessBaseAPI>;

    // An engine for `languages`, loaded now if none is free; null when they
    // cannot be loaded.
    Engine take(const std::string& languages)
    {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            std::vector<Engine>& free = free_[languages];
            if (!free.empty()) {
                Engine engine = std::move(free.back());
                free.pop_back();
                return engine;
            }
        }
        auto engine = std::make_unique<tesseract::TessBaseAPI>();
        // Loading sets some of the library's parameters that all engines
        // share (the debug file among them): one load at a time.
        const std::lock_guard<std::mutex> lock(loading_);
        const bool loaded = engine->Init(nullptr, languages.c_str(), tesseract::OEM_DEFAULT, nullptr, 0, &kQuietNames,
                                         &kQuietValues, false) == 0;
        return loaded ? std::move(engine) : nullptr;
    }

    void giveBack(const std::string& languages, Engine engine)
    {
        if (!engine) return;
        engine->Clear();
        const std::lock_guard<std::mutex> lock(mutex_);
        free_[languages].push_back(std::move(engine));
    }

private:
    std::mutex mutex_;
    std::mutex loading_;
    std::map<std::string, std::vector<Engine>> free_;
};

// An engine taken from a pool for one piece of work.
class BorrowedEngine {
public:
    BorrowedEngine(EnginePool& pool, std::string languages)
        : pool_(pool), languages_(std::move(languages)), engine_(pool_.take(languages_))
    {
    }
    ~BorrowedEngine() { pool_.giveBack(languages_, std::move(engine_)); }
    BorrowedEngine(const BorrowedEngine&) = delete;
    BorrowedEngine& operator=(const BorrowedEngine&) = delete;

    tesseract::TessBaseAPI* get() const { return engine_.get(); }

private:
    EnginePool& pool_;
    std::string languages_;
    EnginePool::Engine engine_;
};

// The library asks OpenMP for several threads a page; the jobs of a run
// already keep every core busy, and those threads then only wait on each
// other, several times slower. This is set per thread, before each page.
void keepToThisThread() { omp_set_max_active_levels(0); }

std::vector<std::string> languagesOf(const std::string& languages)
{
    std::vector<std::string> names;
    size_t start = 0;
    while (start <= languages.size()) {
        const size_t plus = std::min(languages.find('+', start), languages.size());
        names.push_back(languages.substr(start, plus - start));
        start = plus + 1;
    }
    return names;
}

// Debian's package of a language's data: tesseract-ocr-chi-sim for chi_sim.
std::string packageOf(std::string language)
{
    for (char& c : language) c = c == '_' ? '-' : char(std::tolower(static_cast<unsigned char>(c)));
    return "tesseract-ocr-" + language;
}

bool isLanguageName(const std::string& name)
{
    return !name.empty() && name.size() <= 32 && std::all_of(name.begin(), name.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-';
    });
}

// The page with its rows repeated to square pixels, where its orientation,
// bands and ink are found; and for a page whose rows were repeated, the
// same smoothed to gray, which the engine reads instead.
struct SquaredPage {
    std::vector<uint8_t> pixels;  // one bit a pixel, 0 black, most significant first
    int32_t width = 0;
    int32_t height = 0;
    int32_t bytesPerRow = 0;
    int factor = 1;
    int dotsPerInch = 0;
    std::vector<uint8_t> smoothed;  // a byte a pixel, 0 black, `width` to a row; empty when not repeated
};

// The five weights of a binomial filter (1 4 6 4 1), which sum to 16.
constexpr uint32_t kBinomial[5] = {1, 4, 6, 4, 1};

// The squared page smoothed by the binomial filter across and down, edges
// repeated outward. Repeated rows make a staircase of every slanted or
// round stroke, which the engine reads worse than the same strokes a little
// blurred: on ten standard-resolution pages of 8-point type (those of
// bench/ocr_compare.py, read by the tesseract program) the words found rose
// from 0.957 to 1.000 of those on the page, where gray rows between the
// repeated ones (0.969), resampling filters (0.971 to 0.982) and a page
// doubled both ways (0.936) did less. Above 8 points every feed finds all.
std::vector<uint8_t> smoothedGray(const SquaredPage& squared)
{
    const size_t width = size_t(squared.width);
    const size_t height = size_t(squared.height);
    // Across: each row's pixels (255 white) weighted, sums up to 16 * 255.
    std::vector<uint16_t> across(width * height);
    std::vector<uint16_t> row(width + 4);
    for (size_t y = 0; y < height; ++y) {
        const uint8_t* bits = squared.pixels.data() + y * size_t(squared.bytesPerRow);
        for (size_t x = 0; x < width; ++x) row[x + 2] = (bits[x / 8] & (0x80 >> (x % 8))) != 0 ? 255 : 0;
        row[0] = row[1] = row[2];
        row[width + 2] = row[width + 3] = row[width + 1];
        uint16_t* out = across.data() + y * width;
        for (size_t x = 0; x < width; ++x) {
            uint32_t sum = 0;
            for (size_t tap = 0; tap < 5; ++tap) sum += kBinomial[tap] * row[x + tap];
            out[x] = uint16_t(sum);
        }
    }
    // Down: sums up to 256 * 255, brought back to a byte.
    std::vector<uint8_t> gray(width * height);
    for (size_t y = 0; y < height; ++y) {
        const uint16_t* rows[5];
        for (size_t tap = 0; tap < 5; ++tap) {
            const size_t source = size_t(std::clamp<int64_t>(int64_t(y) + int64_t(tap) - 2, 0, int64_t(height) - 1));
            rows[tap] = across.data() + source * width;
        }
        uint8_t* out = gray.data() + y * width;
        for (size_t x = 0; x < width; ++x) {
            uint32_t sum = 0;
            for (size_t tap = 0; tap < 5; ++tap) sum += kBinomial[tap] * rows[tap][x];
            out[x] = uint8_t((sum + 128) >> 8);
        }
    }
    return gray;
}

SquaredPage squaredPage(const PageBitmap& page)
{
    SquaredPage squared;
    squared.factor = rowFactor(page);
    squared.width = page.width;
    squared.height = page.rows * squared.factor;
    squared.bytesPerRow = page.bytesPerRow;
    squared.pixels.resize(size_t(squared.bytesPerRow) * size_t(squared.height));
    for (int32_t row = 0; row < squared.height; ++row) {
        std::copy_n(page.pixels.data() + size_t(row / squared.factor) * size_t(page.bytesPerRow), page.bytesPerRow,
                    squared.pixels.data() + size_t(row) * size_t(squared.bytesPerRow));
    }
    const int xDpi = page.resolutionUnit == 3 ? int(page.xResolution * 254 / 100) : int(page.xResolution);
    squared.dotsPerInch = xDpi >= 70 && xDpi <= 2400 ? xDpi : 200;
    if (squared.factor > 1) squared.smoothed = smoothedGray(squared);
    return squared;
}

// True when row `row` of the squared page is white across the page's width.
bool isWhiteRow(const SquaredPage& squared, int32_t row)
{
    const uint8_t* bits = squared.pixels.data() + size_t(row) * size_t(squared.bytesPerRow);
    const int32_t wholeBytes = squared.width / 8;
    for (int32_t index = 0; index < wholeBytes; ++index) {
        if (bits[index] != 0xff) return false;
    }
    const int rest = squared.width % 8;
    const uint8_t mask = uint8_t(0xff00 >> rest);
    return rest == 0 || (bits[wholeBytes] & mask) == mask;
}

// The black pixels of each row of the squared page.
std::vector<int64_t> inkOfRows(const SquaredPage& squared)
{
    std::vector<int64_t> ink(size_t(squared.height), 0);
    const int32_t bytes = (squared.width + 7) / 8;
    for (int32_t row = 0; row < squared.height; ++row) {
        const uint8_t* bits = squared.pixels.data() + size_t(row) * size_t(squared.bytesPerRow);
        int64_t black = 0;
        for (int32_t index = 0; index < bytes; ++index) black += 8 - std::popcount(bits[index]);
        ink[size_t(row)] = black;
    }
    return ink;
}

// The page cut into up to `count` bands of rows holding about as much ink
// each (the work of recognition follows the text, not the area), each cut
// on a white row near that share so that no line of text is split; fewer
// where no white row is near. The bands' first rows, and the height at the
// end.
std::vector<int32_t> bandStarts(const SquaredPage& squared, int count)
{
    std::vector<int32_t> starts = {0};
    if (count > 1) {
        const std::vector<int64_t> ink = inkOfRows(squared);
        int64_t total = 0;
        for (const int64_t black : ink) total += black;
        const int32_t reach = squared.height / (4 * count);
        int64_t sum = 0;
        int32_t aim = 0;
        for (int band = 1; band < count; ++band) {
            const int64_t share = total * band / count;
            while (aim < squared.height && sum + ink[size_t(aim)] <= share) sum += ink[size_t(aim++)];
            // A page whose ink lies all in its last rows may take every row.
            aim = std::min(aim, squared.height - 1);
            for (int32_t distance = 0; distance <= reach; ++distance) {
                const int32_t above = aim - distance;
                const int32_t below = aim + distance;
                const int32_t found = above > starts.back() && isWhiteRow(squared, above)   ? above
                                      : below < squared.height && isWhiteRow(squared, below) ? below
                                                                                             : -1;
                if (found > starts.back()) {
                    starts.push_back(found);
                    break;
                }
            }
        }
    }
    starts.push_back(squared.height);
    return starts;
}

// A word's box drawn in to the black pixels inside it: the engine's word
// boxes may reach a line's full height above and below a word of small
// letters. A box without black pixels stays as it is. Coordinates are the
// squared page's, right and bottom exclusive.
void drawInToInk(const SquaredPage& squared, int& left, int& top, int& right, int& bottom)
{
    left = std::clamp(left, 0, squared.width);
    right = std::clamp(right, left, squared.width);
    top = std::clamp(top, 0, squared.height);
    bottom = std::clamp(bottom, top, squared.height);
    int inkLeft = right, inkTop = bottom, inkRight = left, inkBottom = top;
    for (int y = top; y < bottom; ++y) {
        const uint8_t* bits = squared.pixels.data() + size_t(y) * size_t(squared.bytesPerRow);
        for (int x = left; x < right; ++x) {
            if ((bits[x / 8] & (0x80 >> (x % 8))) != 0) continue;
            inkLeft = std::min(inkLeft, x);
            inkRight = std::max(inkRight, x + 1);
            inkTop = std::min(inkTop, y);
            inkBottom = std::max(inkBottom, y + 1);
        }
    }
    if (inkRight <= inkLeft) return;
    left = inkLeft;
    top = inkTop;
    right = inkRight;
    bottom = inkBottom;
}

// The line of text the iterator stands in, starting at word `firstWord`,
// with no words yet: its baseline as the engine found it, placed on the
// page's own rows from a band starting at squared row `top`.
PageLine lineAt(const tesseract::ResultIterator& words, int32_t top, int factor, size_t firstWord)
{
    PageLine line;
    line.firstWord = firstWord;
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    if (words.Baseline(tesseract::RIL_TEXTLINE, &x1, &y1, &x2, &y2)) {
        line.baselineLeftX = x1;
        line.baselineLeftY = double(y1 + top) / factor;
        line.baselineRightX = x2;
        line.baselineRightY = double(y2 + top) / factor;
    }
    return line;
}

// Reads the words of rows [top, bottom) of the squared page, their boxes
// placed on the page's own rows; false when the engine fails.
bool readBand(tesseract::TessBaseAPI& engine, const SquaredPage& squared, int32_t top, int32_t bottom, PageText& text,
              int& meanConfidence)
{
    keepToThisThread();
    if (squared.smoothed.empty()) {
        engine.SetImage(squared.pixels.data() + size_t(top) * size_t(squared.bytesPerRow), squared.width,
                        bottom - top, 0, squared.bytesPerRow);
    } else {
        engine.SetImage(squared.smoothed.data() + size_t(top) * size_t(squared.width), squared.width, bottom - top, 1,
                        squared.width);
    }
    engine.SetSourceResolution(squared.dotsPerInch);
    if (engine.Recognize(nullptr) != 0) return false;
    const std::unique_ptr<char[]> all(engine.GetUTF8Text());
    text.text = all ? all.get() : "";
    meanConfidence = engine.MeanTextConf();
    const std::unique_ptr<tesseract::ResultIterator> words(engine.GetIterator());
    if (!words) return true;
    do {
        if (words->Empty(tesseract::RIL_WORD)) continue;
        const std::unique_ptr<char[]> word(words->GetUTF8Text(tesseract::RIL_WORD));
        int left = 0, wordTop = 0, right = 0, wordBottom = 0;
        if (!word || word[0] == 0 || !words->BoundingBox(tesseract::RIL_WORD, &left, &wordTop, &right, &wordBottom)) {
            continue;
        }
        wordTop += top;
        wordBottom += top;
        drawInToInk(squared, left, wordTop, right, wordBottom);
        PageWord found;
        found.text = word.get();
        found.startsLine = words->IsAtBeginningOf(tesseract::RIL_TEXTLINE) || text.lines.empty();
        found.left = left;
        found.right = right;
        found.top = wordTop / squared.factor;
        found.bottom = (wordBottom + squared.factor - 1) / squared.factor;
        if (found.startsLine) text.lines.push_back(lineAt(*words, top, squared.factor, text.words.size()));
        ++text.lines.back().wordCount;
        text.words.push_back(std::move(found));
    } while (words->Next(tesseract::RIL_WORD));
    return true;
}

// Reads the whole page in bands, side by side on up to `threads` threads
// (this one among them); false when any band fails. The bands are the same
// however many threads read them, so that a page's text does not depend on
// the machine or the run's jobs.
// A page's reading: its text, and the engine's mean word confidence (0 to
// 100) over its words; when it failed, why.
struct Reading {
    PageText text;
    double confidence = 0;
    std::string failure;
};

bool readPage(EnginePool& pool, const SquaredPage& squared, const std::string& languages, int threads,
              Reading& reading)
{
    const std::vector<int32_t> starts = bandStarts(squared, kBands);
    const size_t bands = starts.size() - 1;
    std::vector<PageText> texts(bands);
    std::vector<int> confidences(bands, 0);
    std::vector<char> read(bands, 0);
    std::vector<std::string> failures(bands);
    std::atomic<size_t> next{0};
    const auto readBands = [&] {
        for (size_t band = next++; band < bands; band = next++) {
            libraryWords().clear();
            try {
                const BorrowedEngine engine(pool, languages);
                read[band] = engine.get() != nullptr &&
                             readBand(*engine.get(), squared, starts[band], starts[band + 1], texts[band],
                                      confidences[band]);
            } catch (...) {
                read[band] = 0;
            }
            const std::string words = libraryWords().take();
            if (!read[band]) failures[band] = words.empty() ? "the engine could not read the page" : words;
        }
    };
    std::vector<std::thread> helpers;
    for (size_t helper = 1; helper < std::min(bands, size_t(threads)); ++helper) {
        try {
            helpers.emplace_back(readBands);
        } catch (...) {
            break;  // no thread to be had: this one reads the rest
        }
    }
    readBands();
    for (std::thread& helper : helpers) helper.join();
    double weighted = 0;
    for (size_t band = 0; band < bands; ++band) {
        if (!read[band]) {
            reading.failure = failures[band];
            return false;
        }
        reading.text.text += texts[band].text;
        weighted += double(confidences[band]) * double(texts[band].words.size());
        for (PageLine& line : texts[band].lines) {
            line.firstWord += reading.text.words.size();
            reading.text.lines.push_back(line);
        }
        for (PageWord& word : texts[band].words) reading.text.words.push_back(std::move(word));
    }
    reading.confidence = reading.text.words.empty() ? 0 : weighted / double(reading.text.words.size());
    return true;
}

// How far the page must be turned clockwise to stand upright (0 when it
// stands so or the detector cannot tell), and the detector's confidence.
struct Orientation {
    int turn = 0;
    float confidence = 0;
};

Orientation uprightTurn(EnginePool& pool, const SquaredPage& squared)
{
    const BorrowedEngine detector(pool, "osd");
    if (detector.get() == nullptr) return {};
    keepToThisThread();
    detector.get()->SetPageSegMode(tesseract::PSM_OSD_ONLY);
    detector.get()->SetImage(squared.pixels.data(), squared.width, squared.height, 0, squared.bytesPerRow);
    detector.get()->SetSourceResolution(squared.dotsPerInch);
    int imageTurn = 0;
    float confidence = 0;
    const char* script = nullptr;
    float scriptConfidence = 0;
    if (!detector.get()->DetectOrientationScript(&imageTurn, &confidence, &script, &scriptConfidence) ||
        confidence < kTurnConfidence) {
        return {};
    }
    // The detector names how far the image stands turned clockwise.
    return {(360 - imageTurn % 360) % 360, confidence};
}

// Recognition with engines kept for as long as the recognizer lives.
class TesseractRecognizer final : public TextRecognizer {
public:
    std::string languagesProblem(const std::string& languages) override;
    PageRecognition recognise(const PageBitmap& page, const std::string& languages, int threads) override;

private:
    EnginePool pool_;
};

std::string TesseractRecognizer::languagesProblem(const std::string& languages)
{
    const std::vector<std::string> names = languagesOf(languages);
    for (const std::string& language : names) {
        if (!isLanguageName(language)) return "OCR language \"" + language + "\" is not a language name";
    }
    if (BorrowedEngine(pool_, "osd").get() == nullptr) {
        return "The OCR data for page orientation are not installed: install the package tesseract-ocr-osd";
    }
    const auto missing = [](const std::string& language) {
        return "The OCR data for language \"" + language + "\" are not installed: install the package " +
               packageOf(language);
    };
    const BorrowedEngine engine(pool_, languages);
    if (engine.get() == nullptr) {
        // The library loads no engine when its first language is missing;
        // each is loaded alone only now, to name the one.
        for (const std::string& language : names) {
            if (names.size() == 1 || BorrowedEngine(pool_, language).get() == nullptr) return missing(language);
        }
        return "The OCR languages \"" + languages + "\" cannot be loaded together";
    }
    // A later language that is missing is left out with no more than a
    // warning: what was loaded tells.
    std::vector<std::string> loaded;
    engine.get()->GetLoadedLanguagesAsVector(&loaded);
    for (const std::string& language : names) {
        if (std::find(loaded.begin(), loaded.end(), language) == loaded.end()) return missing(language);
    }
    return {};
}

PageRecognition TesseractRecognizer::recognise(const PageBitmap& page, const std::string& languages, int threads)
{
    PageRecognition recognition;
    try {
        if (!page.hasPage() || page.bytesPerRow < (int64_t{page.width} + 7) / 8 ||
            int64_t(page.pixels.size()) < int64_t{page.rows} * page.bytesPerRow || !fitsOutputLimits(page)) {
            return recognition;
        }
        threads = std::clamp(threads, 1, 16);
        const SquaredPage squared = squaredPage(page);
        const Orientation orientation = uprightTurn(pool_, squared);
        Reading reading;
        const auto failed = [&](const Reading& failedReading) {
            PageRecognition none;
            none.failure = failedReading.failure;
            return none;
        };
        if (orientation.turn == 0) {
            if (!readPage(pool_, squared, languages, threads, reading)) return failed(reading);
            recognition.recognised = true;
            recognition.text = std::move(reading.text);
            return recognition;
        }
        PageBitmap turned = turnedPage(page, orientation.turn);
        if (!readPage(pool_, squaredPage(turned), languages, threads, reading)) return failed(reading);
        if (orientation.confidence < kSureTurn) {
            Reading asItStands;
            if (!readPage(pool_, squared, languages, threads, asItStands)) return failed(asItStands);
            if (asItStands.confidence >= reading.confidence) {
                recognition.recognised = true;
                recognition.text = std::move(asItStands.text);
                return recognition;
            }
        }
        recognition.recognised = true;
        recognition.text = std::move(reading.text);
        recognition.turnedDegrees = orientation.turn;
        recognition.turned = std::move(turned);
    } catch (const std::exception& failure) {
        recognition = {};
        recognition.failure = failure.what();
    } catch (...) {
        recognition = {};
        recognition.failure = "the engine failed";
    }
    return recognition;
}

}  // namespace

}  // namespace pagelift

// The module's one entry point; its name is kRecognitionEntryPoint.
extern "C" __attribute__((visibility("default"))) const pagelift::RecognitionModule* pagelift_recognition_module()
{
    static_assert(std::string_view(pagelift::kRecognitionEntryPoint) == "pagelift_recognition_module");
    static const pagelift::RecognitionModule module{
        pagelift::kRecognitionInterfaceVersion, []() -> pagelift::TextRecognizer* {
            try {
                leptSetStderrHandler(pagelift::keepLibraryMessage);
                return new pagelift::TesseractRecognizer;
            } catch (...) {
                return nullptr;
            }
        }};
    return &module;
}
