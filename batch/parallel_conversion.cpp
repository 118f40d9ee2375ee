#include "batch/parallel_conversion.h"

#include "batch/single_file.h"
#include "platform/work_folder.h"
#include "settings/working_paths.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cctype>
#include <exception>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>

namespace pagelift {
namespace {

// Files whose outputs could share a name share this key: the JPEG path
// without ".jpg" and without the digits it ends in.
std::string outputFamily(const std::string& destination)
{
    std::string key = destination;
    if (key.size() >= 4 && key.compare(key.size() - 4, 4, ".jpg") == 0) key.resize(key.size() - 4);
    while (!key.empty() && std::isdigit(static_cast<unsigned char>(key.back())) != 0) key.pop_back();
    return key;
}

// The indexes of the files, grouped by output family, each group in list
// order and the groups in the order their first file comes.
std::vector<std::vector<size_t>> familiesOf(const std::vector<FileJob>& files)
{
    std::vector<std::vector<size_t>> families;
    std::map<std::string, size_t> byKey;
    for (size_t index = 0; index < files.size(); ++index) {
        const auto [at, added] = byKey.emplace(outputFamily(files[index].destination), families.size());
        if (added) families.emplace_back();
        families[at->second].push_back(index);
    }
    return families;
}

// `path` with the job's prefix before its file name.
std::string jobPath(const std::string& path, const std::string& prefix)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? prefix + path : path.substr(0, slash + 1) + prefix + path.substr(slash + 1);
}

// The decoding settings of one job: its own working files.
DecodeSettings jobSettings(const DecodeSettings& decode, int job)
{
    const std::string prefix = jobFilePrefix(job);
    DecodeSettings settings = decode;
    if (settings.bitmapPath.empty()) settings.bitmapPath = processWorkingPaths().intermediateBitmap;
    for (std::string* path : {&settings.rawImagePath, &settings.rawSegmentPath, &settings.tempTiffPath,
                              &settings.bitmapPath}) {
        *path = jobPath(*path, prefix);
    }
    return settings;
}

}  // namespace

int jobCountFor(int32_t requested, size_t files)
{
    int64_t jobs = requested;
    if (jobs <= 0) jobs = std::max<int64_t>(std::thread::hardware_concurrency(), 1);
    return static_cast<int>(std::clamp<int64_t>(jobs, 1, std::max<int64_t>(static_cast<int64_t>(files), 1)));
}

void convertFilesInOrder(const ConversionOptions& options, const std::vector<FileJob>& files,
                         const DecodeSettings& decode, int jobs, const FileConversion& convert,
                         const std::function<bool()>& stopRequested,
                         const std::function<void(size_t index, FileOutcome& outcome)>& finished)
{
    enum class State { Waiting, Done, NotStarted };
    std::vector<FileOutcome> outcomes(files.size());
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

    const std::vector<std::vector<size_t>> families = familiesOf(files);
    // The settings every file starts from; the run's own lists stay out.
    ConversionOptions base = options;
    base.resultsText.clear();
    base.fileList.clear();
    base.writtenOutputs.clear();
    base.backupMoves.clear();
    base.deferBackupMoves = true;

    std::atomic<size_t> nextFamily{0};
    const auto work = [&](const DecodeSettings& settings) {
        for (size_t family = nextFamily++; family < families.size(); family = nextFamily++) {
            std::set<std::string> written;  // the family's outputs, as one job would know them
            for (const size_t index : families[family]) {
                if (stopRequested && stopRequested()) {
                    settle(index, State::NotStarted);
                    continue;
                }
                ConversionOptions fileOptions = base;
                fileOptions.writtenOutputs.swap(written);
                FileOutcome& outcome = outcomes[index];
                try {
                    outcome.result = convert(fileOptions, files[index].source, files[index].destination, settings);
                } catch (const std::exception&) {
                    fileOptions.resultsText += "Exception : Failed in FAX to JPEG conversion\r\n";
                    outcome.result = ConvertException;
                }
                outcome.report = std::move(fileOptions.resultsText);
                outcome.backupMoves = std::move(fileOptions.backupMoves);
                written.swap(fileOptions.writtenOutputs);
                settle(index, State::Done);
            }
        }
    };

    const int count = std::clamp<int>(jobs, 1, static_cast<int>(std::max<size_t>(families.size(), 1)));
    std::vector<DecodeSettings> settings;
    for (int job = 1; job <= count; ++job) settings.push_back(jobSettings(decode, job));
    std::vector<std::thread> threads;
    for (int job = 0; job < count; ++job) {
        try {
            threads.emplace_back(work, std::cref(settings[size_t(job)]));
        } catch (const std::system_error&) {
            break;
        }
    }
    // Without a single thread the work is done here, then handed over.
    if (threads.empty()) work(settings[0]);
    for (size_t index = 0; index < files.size(); ++index) {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return states[index] != State::Waiting; });
        const State state = states[index];
        lock.unlock();
        if (state == State::Done) finished(index, outcomes[index]);
    }
    for (std::thread& thread : threads) thread.join();
}

std::vector<FileOutcome> convertFilesInParallel(const ConversionOptions& options, const std::vector<FileJob>& files,
                                                const DecodeSettings& decode, int jobs)
{
    std::vector<FileOutcome> outcomes(files.size());
    const FileConversion convert = [](ConversionOptions& fileOptions, const std::string& source,
                                      const std::string& destination, const DecodeSettings& settings) {
        return convertFile(fileOptions, source, destination, settings);
    };
    convertFilesInOrder(options, files, decode, jobs, convert, nullptr,
                        [&](size_t index, FileOutcome& outcome) { outcomes[index] = std::move(outcome); });
    return outcomes;
}

}  // namespace pagelift
