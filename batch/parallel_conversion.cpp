#include "batch/parallel_conversion.h"

#include "batch/shared_pages.h"
#include "batch/single_file.h"
#include "platform/work_folder.h"
#include "output/output_names.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cctype>
#include <exception>
#include <filesystem>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>

namespace pagelift {
namespace {

// The output groups of the files, largest first (by the size of their
// sources), so that the big files do not start last and leave the other
// jobs idle at the end.
std::vector<std::vector<size_t>> largestGroupsFirst(const OutputFormat& format, const std::vector<FileJob>& files)
{
    std::vector<std::string> destinations;
    for (const FileJob& file : files) destinations.push_back(file.destination);
    std::vector<std::vector<size_t>> groups = outputGroupsOf(format, destinations);
    std::vector<uintmax_t> sizes;
    for (const std::vector<size_t>& group : groups) {
        uintmax_t size = 0;
        for (const size_t index : group) {
            std::error_code unknown;
            const uintmax_t bytes = std::filesystem::file_size(files[index].source, unknown);
            if (!unknown) size += bytes;
        }
        sizes.push_back(size);
    }
    std::vector<size_t> order(groups.size());
    for (size_t group = 0; group < order.size(); ++group) order[group] = group;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return sizes[a] > sizes[b]; });
    std::vector<std::vector<size_t>> largestFirst;
    for (const size_t group : order) largestFirst.push_back(std::move(groups[group]));
    return largestFirst;
}

}  // namespace

int jobCountFor(int32_t requested, size_t files)
{
    if (files == 0) return 1;
    int64_t jobs = requested;
    if (jobs <= 0) jobs = std::max<int64_t>(std::thread::hardware_concurrency(), 1);
    return static_cast<int>(std::max<int64_t>(jobs, 1));
}

namespace {

// The documents whose pages the jobs of a run share. A job with no file
// left takes pages here while another job may still offer some.
class PagePool : public PageShare {
public:
    explicit PagePool(int jobs) : busyJobs_(jobs) {}

    void offer(const std::shared_ptr<DocumentPages>& pages) override
    {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            offered_.push_back(pages);
        }
        changed_.notify_all();
    }

    // A job converts files after all (the run's own thread, when no other
    // could be started).
    void jobStarted()
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        ++busyJobs_;
    }

    // A job has no file left: it helps with pages from now on.
    void jobIdle()
    {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            --busyJobs_;
        }
        changed_.notify_all();
    }

    // Converts offered pages until no job converting files is left to offer
    // more and every offered page is taken.
    void helpUntilDone(const DecodeSetup& settings)
    {
        for (;;) {
            std::shared_ptr<DocumentPages> pages;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                changed_.wait(lock, [&] { return !offered_.empty() || busyJobs_ == 0; });
                if (offered_.empty()) return;
                pages = offered_.front();
            }
            pages->help(settings);
            // Every page of it is claimed now: nothing more to take there.
            {
                const std::lock_guard<std::mutex> lock(mutex_);
                const auto at = std::find(offered_.begin(), offered_.end(), pages);
                if (at != offered_.end()) offered_.erase(at);
            }
        }
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::shared_ptr<DocumentPages>> offered_;
    int busyJobs_;
};

}  // namespace

void convertFilesInOrder(const ConversionOptions& options, const std::vector<FileJob>& files,
                         const DecodeSetup& decode, TextRecognizer* recognizer, int jobs, const FileConverter& convert,
                         const std::function<bool()>& stopRequested, const WrittenOutputs& writtenBefore,
                         const std::function<void(size_t index, FileConversion& conversion)>& finished)
{
    enum class State { Waiting, Done, NotStarted };
    std::vector<FileConversion> conversions(files.size());
    std::vector<State> states(files.size(), State::Waiting);
    std::mutex mutex;
    std::condition_variable changed;
    const auto settle = [&](size_t index, State state) {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            states[index] = state;
        }
        changed.notify_all();
    };

    const std::vector<std::vector<size_t>> families = largestGroupsFirst(*options.outputFormat, files);
    const int count = std::max(jobs, 1);
    PagePool pagePool(count);
    std::atomic<size_t> nextFamily{0};
    const auto work = [&](const DecodeSetup& setup) {
        for (size_t family = nextFamily++; family < families.size(); family = nextFamily++) {
            // The family's outputs, as one job converting it would know them.
            WrittenOutputs written;
            for (const size_t index : families[family]) {
                if (stopRequested && stopRequested()) {
                    settle(index, State::NotStarted);
                    continue;
                }
                FileContext context{setup, &written, &writtenBefore, count > 1 ? &pagePool : nullptr, recognizer};
                FileConversion& conversion = conversions[index];
                try {
                    conversion = convert(options, files[index].source, files[index].destination, context);
                } catch (const std::exception&) {
                    conversion.report = files[index].source + " --> " + files[index].destination + " : " +
                                        exceptionReportLine(*options.outputFormat);
                    conversion.result = ConvertException;
                }
                for (const std::string& name : conversion.outputs) written[name] = files[index].source;
                settle(index, State::Done);
            }
        }
        pagePool.jobIdle();
        pagePool.helpUntilDone(setup);
    };

    std::vector<DecodeSetup> setups;
    for (int job = 1; job <= count; ++job) setups.push_back(withFilePrefix(decode, jobFilePrefix(job)));
    std::vector<std::thread> threads;
    for (int job = 0; job < count; ++job) {
        try {
            threads.emplace_back(work, std::cref(setups[size_t(job)]));
        } catch (const std::system_error&) {
            break;
        }
    }
    // Jobs whose thread could not start never convert a file: nobody may
    // wait for pages from them.
    for (size_t missing = threads.size(); missing < size_t(count); ++missing) pagePool.jobIdle();
    // Without a single thread the work is done here, then handed over.
    if (threads.empty()) {
        pagePool.jobStarted();
        work(setups[0]);
    }
    for (size_t index = 0; index < files.size(); ++index) {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return states[index] != State::Waiting; });
        const State state = states[index];
        lock.unlock();
        if (state == State::Done) finished(index, conversions[index]);
    }
    for (std::thread& thread : threads) thread.join();
}

}  // namespace pagelift
