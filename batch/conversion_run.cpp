#include "batch/conversion_run.h"

#include "batch/delivery_window.h"
#include "batch/fax_delivery.h"
#include "batch/folder_conversion.h"
#include "batch/output_naming.h"
#include "batch/parallel_conversion.h"
#include "faxdoc/fax_document.h"
#include "faxdoc/fax_format.h"
#include "ocr/recognition_loader.h"
#include "output/output_names.h"

#include <exception>
#include <set>

namespace pagelift {

std::string prepareRecognition(const ConversionOptions& options, std::unique_ptr<TextRecognizer>& recognizer)
{
    if (options.ocrLanguages.empty() || options.listGroups) return {};
    if (!recognizer) {
        LoadedRecognizer loaded = loadTextRecognizer();
        if (!loaded.recognizer) return loaded.problem;
        recognizer = std::move(loaded.recognizer);
    }
    return recognizer->languagesProblem(options.ocrLanguages);
}

namespace {

// Deliveries under way at once beside a run's conversions: each is mostly a
// wait for a sendmail or a hook.
constexpr size_t kDeliveriesAtOnce = 8;

// The pages of a fax as a conversion counts them; 0 when it cannot be read
// (it is converted then, and what went wrong reported).
int countPagesOf(const std::string& path, const DecodeSetup& decode)
{
    try {
        FaxDocument document;
        document.setup() = decode;
        return document.countPages(path, identifyFormat(path));
    } catch (...) {
        return 0;
    }
}

FileEnd endOf(int result)
{
    if (result == ConvertDone) return FileEnd::Converted;
    return result == ConvertSkipped ? FileEnd::Skipped : FileEnd::Failed;
}

void count(RunTally& tally, FileEnd end)
{
    switch (end) {
    case FileEnd::Converted: ++tally.converted; break;
    case FileEnd::Failed: ++tally.failed; break;
    case FileEnd::Skipped: ++tally.skipped; break;
    }
}

}  // namespace

void RunListener::fileStarting(size_t, const RunEntry&) {}

std::vector<RunEntry> folderEntries(const ConversionOptions& options)
{
    std::vector<RunEntry> entries;
    for (const std::string& entry : options.fileList) entries.push_back({options.source + "/" + entry, entry});
    return entries;
}

RunTally runFiles(const RunRequest& request, const std::vector<RunEntry>& entries, RunListener& listener)
{
    const ConversionOptions& options = request.options;
    RunTally tally;
    tally.listed = static_cast<int>(entries.size());
    const auto stopRequested = [&] { return request.stopRequested && request.stopRequested(); };

    // Outputs already (JPEG files, say) are passed over; the others go to
    // the output their names give.
    std::vector<std::string> sources;
    std::vector<size_t> entryOfFile;
    for (size_t index = 0; index < entries.size(); ++index) {
        if (outputFormatOfOwnFile(entries[index].source) != nullptr) continue;
        sources.push_back(entries[index].source);
        entryOfFile.push_back(index);
    }
    // Names given by template are remembered with their sources, so that
    // a fax converted again gets them back.
    // Those of faxes replaced or removed are forgotten; their outputs, where
    // still there, keep their names all the same.
    if (namesByTemplate(options)) {
        (void)RunRecord::removeWhere(options.nameRecord, [](const std::string&, const std::string& owner) {
            return sourceIdentityIsStale(owner);
        });
    }
    RunRecord record(namesByTemplate(options) ? options.nameRecord : "");
    const std::vector<std::string> destinations = runOutputPaths(options, sources, &record);
    std::vector<FileJob> files;
    for (size_t file = 0; file < sources.size(); ++file) files.push_back({sources[file], destinations[file]});
    WrittenOutputs written;  // this run's own
    const WrittenOutputs earlier = request.written != nullptr ? *request.written : WrittenOutputs{};
    const FileConverter convertOne = request.convert ? request.convert : FileConverter(convertFile);
    std::set<std::string> pendingDeliveries;
    if (options.delivery) (void)forgetDeliveriesOfGoneSources(*options.delivery, &pendingDeliveries);
    const FileConverter convert = [&](const ConversionOptions& runOptions, const std::string& source,
                                      const std::string& destination, const FileContext& context) {
        const bool pending = !pendingDeliveries.empty() && pendingDeliveries.count(sourceIdentity(source)) != 0;
        if (request.skipCurrentOutputs || pending) {
            const std::vector<std::string> current = currentOutputsOf(
                *runOptions.outputFormat, source, destination, [&] { return countPagesOf(source, context.decode); });
            if (!current.empty()) {
                FileConversion skipped;
                skipped.result = ConvertSkipped;
                skipped.existingOutput = destination;
                if (pending) {
                    // A fax whose delivery is pending is delivered from the
                    // outputs it has: converting it again (its text
                    // recognised again) would make the same ones.
                    skipped.report = "Skipped : " + current.front() + " already exist!\r\n";
                    skipped.written = current;
                    skipped.toBackupFolder = !runOptions.backupFolder.empty();
                }
                return skipped;
            }
        }
        return convertOne(runOptions, source, destination, context);
    };

    // Deliveries run beside the next conversions; files finish in list order.
    DeliveryWindow window(kDeliveriesAtOnce);
    size_t nextEntry = 0;  // the first entry not yet queued to finish
    // The entries passed over before `end` are told where they stand in the list.
    const auto passOver = [&](size_t end) {
        for (; nextEntry < end; ++nextEntry) {
            window.add({}, [&, index = nextEntry] {
                const RunEntry& entry = entries[index];
                listener.fileStarting(index, entry);
                FileDone done;
                done.index = index;
                done.end = FileEnd::Skipped;
                done.result = ConvertSkipped;
                done.passedOverAs = outputFormatOfOwnFile(entry.source);
                if (request.reportPassedOver) done.report = passedOverText(entry.source, *done.passedOverAs) + "\r\n";
                done.existingOutput = entry.source;
                count(tally, done.end);
                listener.fileDone(entry, done);
            });
        }
    };
    // A file's conversion is done: its names are known to later files at
    // once; once it is delivered its source moves into the backup folder,
    // and its owner hears of it.
    const auto finishFile = [&](size_t file, FileConversion& converted) {
        const size_t index = entryOfFile[file];
        const std::string& source = files[file].source;
        for (const std::string& name : converted.outputs) written[name] = source;
        if (namesByTemplate(options) && !converted.written.empty()) {
            record.set(files[file].destination, sourceIdentity(source));
        }
        auto conversion = std::make_shared<FileConversion>(std::move(converted));
        std::function<void()> delivery;
        if (options.delivery != nullptr && !conversion->written.empty()) {
            delivery = [&options, &source, conversion] {
                try {
                    deliverFileConversion(options, source, *conversion);
                } catch (const std::exception&) {
                    // Out of memory, say: not delivered, so not moved away.
                    conversion->report += "Delivery deferred : it could not be started\r\n";
                    conversion->deliveryDeferred = true;
                    conversion->toBackupFolder = false;
                }
            };
        }
        window.add(std::move(delivery), [&, file, index, conversion] {
            const std::string& from = files[file].source;
            const std::string sourceNow =
                conversion->toBackupFolder ? moveToBackupFolder(from, options.backupFolder) : from;
            FileDone done;
            if (sourceNow != from) done.movedTo = sourceNow;
            done.index = index;
            done.destination = files[file].destination;
            done.end = endOf(conversion->result);
            done.result = conversion->result;
            done.report = std::move(conversion->report);
            done.written = std::move(conversion->written);
            done.existingOutput = std::move(conversion->existingOutput);
            done.failure = std::move(conversion->failure);
            done.deliveryDeferred = conversion->deliveryDeferred;
            count(tally, done.end);
            listener.fileDone(entries[index], done);
        });
        nextEntry = index + 1;
    };

    const int jobs = jobCountFor(options.jobs, files.size());
    if (jobs == 1) {
        // One at a time, in list order: each file is told before it is converted.
        for (size_t file = 0; file < files.size() && !stopRequested(); ++file) {
            passOver(entryOfFile[file]);
            window.finishReady(false);
            listener.fileStarting(entryOfFile[file], entries[entryOfFile[file]]);
            FileConversion conversion;
            try {
                conversion = convert(options, files[file].source, files[file].destination,
                                     FileContext{request.decode, &written, &earlier, nullptr, request.recognizer});
            } catch (const std::exception&) {
                conversion.report =
                    files[file].source + " --> " + files[file].destination + " : " + exceptionReportLine(*options.outputFormat);
                conversion.result = ConvertException;
            }
            finishFile(file, conversion);
        }
    } else {
        convertFilesInOrder(options, files, request.decode, request.recognizer, jobs, convert, stopRequested, earlier,
                            [&](size_t file, FileConversion& conversion) {
                                passOver(entryOfFile[file]);
                                window.finishReady(false);
                                listener.fileStarting(entryOfFile[file], entries[entryOfFile[file]]);
                                finishFile(file, conversion);
                            });
    }
    if (!stopRequested()) passOver(entries.size());
    window.finishReady(true);
    if (request.written != nullptr) {
        for (const auto& [name, source] : written) (*request.written)[name] = source;
    }
    // A record that cannot be written loses no output: a later run only
    // gives such a fax a name of its own again.
    if (namesByTemplate(options)) (void)record.save();
    // A stop that came after the last file changed nothing: the run is complete.
    tally.stopped = tally.finished() < tally.listed;
    return tally;
}

}  // namespace pagelift
