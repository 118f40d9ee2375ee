#include "batch/single_file.h"

#include "settings/decode_settings.h"
#include "batch/fax_delivery.h"
#include "batch/output_naming.h"
#include "batch/parallel_conversion.h"
#include "batch/shared_pages.h"
#include "faxdoc/fax_document.h"
#include "batch/fax_facts_reading.h"
#include "faxdoc/fax_format.h"
#include "output/name_template.h"
#include "output/output_names.h"
#include "platform/files.h"
#include "platform/paths.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

namespace pagelift {
namespace {

// " (No space left on device: out/fax.jpg)": what made a write fail, as
// the report adds it to its line; nothing when nothing is known.
std::string causeText(const WriteResult& written)
{
    const std::string cause = written.cause();
    return cause.empty() ? cause : " (" + cause + ")";
}

// The report's words for a page or document the format's writer failed to
// write, with the cause, and for a failure raised inside a conversion.
std::string notWrittenLine(const OutputFormat& format, const WriteResult& written = {})
{
    return "Failed :  Error in converting FAX to " + std::string(format.reportName) + "!" + causeText(written) +
           "\r\n";
}

// Keeps the first write failure of a conversion: the one its owner shows.
void noteFailure(FileConversion& conversion, const WriteResult& written)
{
    if (conversion.failure.written() && !written.written()) conversion.failure = written;
}

std::string pageNumberText(int pageNumber)
{
    char text[16];
    std::snprintf(text, sizeof text, "%03d", pageNumber);
    return text;
}

// What the run asks of each page written. A page's recognition uses the
// cores the run's jobs leave free, so that one fax converted alone uses them
// all and a run of many jobs does not crowd them.
OutputSettings outputSettingsOf(const ConversionOptions& options, TextRecognizer* recognizer)
{
    OutputSettings settings;
    settings.recognizer = recognizer;
    settings.quality = options.quality;
    settings.optimize = options.optimize;
    settings.ocrLanguages = options.ocrLanguages;
    const int cores = std::max<int>(int(std::thread::hardware_concurrency()), 1);
    const int jobs = options.conversionKind == ConversionFolder ? jobCountFor(options.jobs, 1) : 1;
    settings.ocrThreads = std::max(cores / jobs, 1);
    return settings;
}

// " (turned 180 degrees)" after a page's "Success !", or nothing.
std::string noteText(const PageResult& page, const OutputSettings& settings)
{
    const std::string note = pageNote(page, settings);
    return note.empty() ? note : " (" + note + ")";
}

// What converting the pages of a document gave.
struct PagesResult {
    int result = ConvertDone;   // that of the last page
    bool everyPageWritten = true;
};

// Converts the pages of a document whose page 0 is decoded, alone or, when
// the run shares pages between jobs, side by side with other jobs. Returns
// each page's result; after a page that Failed, no later page is converted.
std::vector<PageResult> convertEveryPage(FaxDocument& document, FaxFormat format,
                                         const std::shared_ptr<DocumentPages>& shared, PageShare* pageShare)
{
    const int pageCount = shared->pageCount();
    // Decodes page `index` (page 0 is decoded already); false when that
    // raised a failure.
    const auto read = [&](int index) {
        try {
            if (index > 0) document.readPage(format, size_t(index));
            return true;
        } catch (...) {
            return false;
        }
    };
    const auto convert = [&](const PageBitmap& page, int index) { return shared->writePage(page, index); };

    std::vector<PageResult> results(static_cast<size_t>(pageCount));
    if (pageShare == nullptr) {
        for (int index = 0; index < pageCount; ++index) {
            results[size_t(index)] = read(index) ? convert(document.page(), index) : PageResult{};
            if (results[size_t(index)].outcome == PageOutcome::Failed) break;
        }
        return results;
    }

    pageShare->offer(shared);
    PageBitmap page;
    if (shared->helpersDecode()) {
        shared->ownResult(0, convert(document.page(), 0));
        for (int index = shared->claim(page); index >= 0; index = shared->claim(page)) {
            PageResult result = read(index) ? convert(document.page(), index) : PageResult{};
            if (result.outcome == PageOutcome::Failed) shared->closeClaims();
            shared->done(index, std::move(result));
        }
    } else {
        // Each page is handed over as soon as it is decoded, and the next
        // one decoded while a helper converts it; what no helper has taken
        // by then is converted here.
        for (int index = 0; index < pageCount && read(index); ++index) {
            shared->handOver(index, document.page());
            for (int older = shared->claim(page, index); older >= 0; older = shared->claim(page, index)) {
                shared->done(older, convert(page, older));
            }
        }
        shared->closeClaims();
        for (int index = shared->claim(page); index >= 0; index = shared->claim(page)) {
            shared->done(index, convert(page, index));
        }
    }
    shared->waitForClaimed();
    for (int index = 0; index < pageCount; ++index) results[size_t(index)] = shared->result(index);
    return results;
}

// The report's line for a page of a fax that has one page only, as every
// format words it.
std::string onlyPageLine(const PageResult& page, const OutputFormat& format, const std::string& source,
                         const OutputSettings& settings)
{
    switch (page.outcome) {
    case PageOutcome::Converted: return "Success !" + noteText(page, settings) + "\r\n";
    case PageOutcome::TooLarge:
    case PageOutcome::Empty: return "Failed : " + page.refusalText + "\r\n";
    case PageOutcome::NotPrepared:
        return "Failed : " + source + " - Error in preparing " + std::string(format.preparedName) + "\r\n";
    case PageOutcome::NotWritten:
    case PageOutcome::Failed: break;
    }
    return notWrittenLine(format, page.written);
}

// With text recognition, the text of a document's pages written as pages
// of a file each goes to a text file beside them, once any page is written.
// A text file that cannot be written fails the conversion, so that a run
// with a backup folder keeps the fax to convert again.
void writeTextBeside(const std::vector<PageResult>& results, const std::string& destination,
                     const OutputSettings& settings, PagesResult& pages, FileConversion& conversion)
{
    if (settings.ocrLanguages.empty()) return;
    std::vector<std::string> texts;
    bool anyWritten = false;
    for (const PageResult& page : results) {
        anyWritten = anyWritten || page.outcome == PageOutcome::Converted;
        texts.push_back(page.outcome == PageOutcome::Converted ? page.text : std::string());
    }
    if (!anyWritten) return;
    const std::string name = textFileName(destination);
    conversion.outputs.push_back(name);
    const WriteResult written = writePagesText(texts, name);
    if (written.written()) {
        conversion.textFile = name;
        return;
    }
    conversion.report += "Failed : text not written to " + name + causeText(written) + "\r\n";
    noteFailure(conversion, written);
    pages.everyPageWritten = false;
    pages.result = ConvertOutputFailed;
}

// Converts every page of an opened document into one file of a format of a
// file per document: its pages encoded (side by side with other jobs when
// the run shares pages), then the file written from those that could be.
// The report says "Success !" for the file and gives a line to each page
// left out; without a page there is no file: a fax of one page says why as
// for a page of its own, a longer one's page lines say why.
// What the document's file states of the fax: what its container says, the
// facts the run was given over that, and as its title the run's name
// template filled with them.
DocumentFacts documentFactsOf(const FaxDocument& document, const std::string& source, const ConversionOptions& options)
{
    const FaxTexts& texts = document.texts();
    DocumentFacts facts{source, texts.description,
                        faxFactsOfContainer(texts.description, texts.dateTime, texts.make, texts.model, texts.subAddress),
                        {}};
    facts.fax.source = faxSourceName(source);
    facts.fax.pages = document.pageCount();
    setGivenFaxFacts(facts.fax, options.givenFacts);
    std::string why;
    const std::string titleTemplate = nameTemplateFor(options, facts.fax);
    const std::optional<NameTemplate> title =
        titleTemplate.empty() ? std::nullopt : NameTemplate::parse(titleTemplate, why);
    if (title) {
        const std::optional<FileStamp> stamp = fileStamp(source);
        facts.title = title->fill(facts.fax, stamp ? stamp->modifiedNs / 1000000000 : 0);
    }
    return facts;
}

PagesResult convertIntoOneFile(FaxDocument& document, FaxFormat format, const OutputFormat& output,
                               const OutputSettings& settings, const std::string& source,
                               const std::string& destination, PageShare* pageShare, const ConversionOptions& options,
                               FileConversion& conversion)
{
    const int pageCount = std::max<int>(document.pageCount(), 1);
    const auto shared = std::make_shared<DocumentPages>(source, format, std::vector<std::string>(size_t(pageCount), destination),
                                                        output, settings);
    const std::vector<PageResult> results = convertEveryPage(document, format, shared, pageShare);
    conversion.outputs.push_back(destination);
    std::vector<const EncodedPage*> encoded;
    std::string leftOut;  // the lines of pages left out, and of pages with a note
    bool pageLeftOut = false;
    for (int pageNumber = 1; pageNumber <= pageCount; ++pageNumber) {
        const PageResult& page = results[size_t(pageNumber - 1)];
        if (page.outcome == PageOutcome::Failed) throw std::runtime_error("a page could not be converted");
        if (page.outcome == PageOutcome::Converted) {
            encoded.push_back(&shared->encodedPage(pageNumber - 1));
            const std::string note = pageNote(page, settings);
            if (!note.empty()) leftOut += "        page " + pageNumberText(pageNumber) + " : " + note + "\r\n";
            continue;
        }
        pageLeftOut = true;
        if (page.outcome == PageOutcome::NotWritten) noteFailure(conversion, page.written);
        const std::string reason =
            page.outcome == PageOutcome::TooLarge || page.outcome == PageOutcome::Empty ? page.refusalText
            : page.outcome == PageOutcome::NotPrepared ? "Error in preparing " + std::string(output.preparedName)
                                                       : "Error in converting FAX to " + std::string(output.reportName) +
                                                             "!" + causeText(page.written);
        leftOut += "        page " + pageNumberText(pageNumber) + " : Failed : " + reason + "\r\n";
    }
    PagesResult pages;
    pages.everyPageWritten = false;
    pages.result = ConvertOutputFailed;
    if (encoded.empty()) {
        conversion.report += pageCount == 1 ? onlyPageLine(results[0], output, source, settings)
                                            : "Failed : no page could be converted\r\n" + leftOut;
        return pages;
    }
    const DocumentFacts facts = documentFactsOf(document, source, options);
    if (const WriteResult written = output.writeDocument(encoded, facts, destination); !written.written()) {
        conversion.report += notWrittenLine(output, written) + leftOut;
        noteFailure(conversion, written);
        return pages;
    }
    conversion.written.push_back(destination);
    conversion.report += "Success !\r\n" + leftOut;
    pages.everyPageWritten = !pageLeftOut;
    pages.result = ConvertDone;
    return pages;
}

// Converts every page of an opened document, adding a report line per page
// to the conversion, and lists the output names of its pages, written or
// not, and those written. A failure raised while converting a page is raised
// again once the lines of the pages before it are in the report.
PagesResult convertPages(FaxDocument& document, FaxFormat format, const ConversionOptions& options,
                         const std::string& source, const std::string& destination, const FileContext& context,
                         FileConversion& conversion)
{
    std::string& report = conversion.report;
    const OutputFormat& output = *options.outputFormat;
    const OutputSettings settings = outputSettingsOf(options, context.recognizer);
    PageShare* const pageShare = context.pageShare;
    if (output.layout == OutputLayout::FilePerDocument) {
        return convertIntoOneFile(document, format, output, settings, source, destination, pageShare, options,
                                  conversion);
    }
    const std::string notPreparedLine =
        "Failed : " + source + " - Error in preparing " + std::string(output.preparedName) + "\r\n";
    const int pageCount = document.pageCount();
    PagesResult pages;
    if (pageCount < 2) {
        conversion.outputs.push_back(destination);
        const PageResult page = writeOutputPage(output, document.page(), destination, settings);
        pages.everyPageWritten = page.outcome == PageOutcome::Converted;
        if (pages.everyPageWritten) conversion.written.push_back(destination);
        pages.result = pages.everyPageWritten ? ConvertDone : ConvertOutputFailed;
        if (page.outcome == PageOutcome::Failed) throw std::runtime_error("the page could not be converted");
        if (page.outcome == PageOutcome::NotWritten) noteFailure(conversion, page.written);
        report += onlyPageLine(page, output, source, settings);
        writeTextBeside({page}, destination, settings, pages, conversion);
        return pages;
    }

    const std::vector<std::string> names = outputNamesOf(output, destination, pageCount);
    const auto shared = std::make_shared<DocumentPages>(source, format, names, output, settings);
    const std::vector<PageResult> results = convertEveryPage(document, format, shared, pageShare);
    bool headingWritten = false;
    const auto writeHeading = [&] {
        if (!headingWritten) report += "Multiple pages as following :\r\n";
        headingWritten = true;
    };
    for (int pageNumber = 1; pageNumber <= pageCount; ++pageNumber) {
        const PageResult& page = results[size_t(pageNumber - 1)];
        const std::string& name = names[size_t(pageNumber - 1)];
        const std::string pageLine = "        page " + pageNumberText(pageNumber) + " --> " + name + " : ";
        conversion.outputs.push_back(name);
        if (page.outcome == PageOutcome::Failed) throw std::runtime_error("a page could not be converted");
        if (page.outcome == PageOutcome::Converted) conversion.written.push_back(name);
        if (page.outcome != PageOutcome::Converted) pages.everyPageWritten = false;
        if (page.outcome == PageOutcome::TooLarge || page.outcome == PageOutcome::Empty) {
            writeHeading();
            report += pageLine + "Failed : " + page.refusalText + "\r\n";
            pages.result = ConvertOutputFailed;
        } else if (page.outcome == PageOutcome::NotPrepared) {
            report += notPreparedLine;
            pages.result = ConvertOutputFailed;
        } else if (page.outcome == PageOutcome::NotWritten) {
            report += notWrittenLine(output, page.written);
            noteFailure(conversion, page.written);
            pages.result = ConvertOutputFailed;
        } else {
            if (pageNumber == 1) writeHeading();
            report += pageLine + "Success !" + noteText(page, settings) + "\r\n";
            pages.result = ConvertDone;
        }
    }
    writeTextBeside(results, destination, settings, pages, conversion);
    return pages;
}


// The first output name of a document of `pageCount` pages converted to
// `destination` that is taken: written earlier in the run, or by another
// source in an earlier run of a watch. Empty when there is none.
std::string outputTaken(const ConversionOptions& options, const std::string& source, const std::string& destination,
                        int pageCount, const FileContext& context)
{
    for (const std::string& name : outputNamesOf(*options.outputFormat, destination, pageCount)) {
        if (context.written != nullptr && context.written->count(name) != 0) return name;
        if (context.writtenEarlier == nullptr) continue;
        const auto earlier = context.writtenEarlier->find(name);
        if (earlier != context.writtenEarlier->end() && earlier->second != source) return name;
    }
    return {};
}

}  // namespace

std::string exceptionReportLine(const OutputFormat& format)
{
    return "Exception : Failed in FAX to " + std::string(format.reportName) + " conversion\r\n";
}

std::string notFaxText(const std::string& source)
{
    return "Failed : " + source + " - Not Fax";
}

std::string passedOverText(const std::string& source, const OutputFormat& format)
{
    return source + " : already " + std::string(format.reportName) + " format, need no converting!";
}

std::string moveToBackupFolder(const std::string& source, const std::string& backupFolder)
{
    const size_t slash = source.rfind('/');
    if (slash == std::string::npos || slash == 0) return source;
    const std::string moved = joinPath(backupFolder, source.substr(slash + 1));
    return moveFileNoReplace(source, moved) ? moved : source;
}

bool ensureFolder(const std::string& path)
{
    if (canEnterFolder(path)) return true;
    const size_t slash = path.rfind('/');
    // The recursion stops at the root folder.
    if (slash != std::string::npos && slash > 0) ensureFolder(path.substr(0, slash));
    if (createFolder(path)) return true;
    // Another job may have made it in the meantime; else the reason stays.
    const int error = errno;
    if (canEnterFolder(path)) return true;
    errno = error;
    return false;
}

FileConversion convertFile(const ConversionOptions& options, const std::string& source, const std::string& destination,
                           const FileContext& context)
{
    FileConversion conversion;
    std::string& report = conversion.report;
    report += source + " --> " + destination + " : ";
    const auto ended = [&](int result) {
        conversion.result = result;
        return conversion;
    };

    if (options.skipExisting != 0) {
        const std::string existing = existingOutputOf(*options.outputFormat, destination);
        if (!existing.empty()) {
            report += "Skipped : " + existing + " already exist!\r\n";
            conversion.existingOutput = existing;
            return ended(ConvertSkipped);
        }
    }

    const FaxFormat format = identifyFormat(source);

    const size_t slash = destination.rfind('/');
    if (slash != std::string::npos && slash > 0) {
        const std::string folder = destination.substr(0, slash);
        if (!ensureFolder(folder)) {
            const WriteResult why = failureOfError(errno, folder, WriteFailure::Creating);
            report += "Failed to create dir : " + folder + " (" + why.words + ")\r\n";
            noteFailure(conversion, why);
            return ended(ConvertNoFolder);
        }
    }

    FaxDocument document;
    document.setup() = context.decode;

    PagesResult pages;
    try {
        document.open(source, format);
        if (!document.hasPage()) {
            report += notFaxText(source) + "\r\n";
            return ended(ConvertNotFax);
        }
        // Only now is the page count, and so every output name, known.
        const std::string taken = outputTaken(options, source, destination, document.pageCount(), context);
        if (!taken.empty()) {
            report += "Skipped : " + taken + " already exist!\r\n";
            conversion.existingOutput = taken;
            document.close();
            return ended(ConvertSkipped);
        }
        pages = convertPages(document, format, options, source, destination, context, conversion);
    } catch (...) {
        report += exceptionReportLine(*options.outputFormat);
        return ended(ConvertException);
    }
    document.close();

    // The files' times are no part of the conversion's result: a failure to
    // copy them has its own line, and keeps the fax in the source folder.
    bool everyTimeCopied = true;
    if (options.keepDate) {
        std::vector<std::string> targets = conversion.written;
        if (!conversion.textFile.empty()) targets.push_back(conversion.textFile);
        for (const std::string& output : targets) {
            if (copyFileTimes(source, output) == 0) continue;
            if (everyTimeCopied) {
                report += options.backupFolder.empty() ? "Failed : file times not copied to " + output + "\r\n"
                                                       : "Failed : file times not copied, " + source + " stays in place\r\n";
            }
            everyTimeCopied = false;
        }
    }
    // With a backup folder the source folder is the queue of faxes still to
    // convert: a fax leaves it only once every page of it is written (and
    // carries the source's times when asked), so that a failed one is
    // converted again by a later run instead of being lost from the queue.
    const bool complete = pages.everyPageWritten && everyTimeCopied;
    // Delivery (deliverFileConversion) may still keep it where it is.
    conversion.toBackupFolder = complete && !options.backupFolder.empty();
    return ended(pages.result);
}

std::string convertSingleFile(const ConversionOptions& options, const DecodeSetup& decode, TextRecognizer* recognizer)
{
    FileContext context;
    context.decode = decode;
    context.recognizer = recognizer;
    FileConversion conversion = convertFile(options, options.source, options.destination, context);
    deliverFileConversion(options, options.source, conversion);
    if (conversion.toBackupFolder) moveToBackupFolder(options.source, options.backupFolder);
    return conversion.report;
}

}  // namespace pagelift
