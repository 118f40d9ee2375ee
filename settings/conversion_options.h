#pragma once

#include "output/delivery_rules.h"
#include "output/fax_facts.h"
#include "output/output_format.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pagelift {

enum ConversionKind : int32_t { ConversionNone = 0, ConversionFolder = 1, ConversionSingleFile = 2 };

// What one conversion run is asked to do: its files, folders, naming
// choices and outputs. The owner of a run builds it with these defaults and
// hands it down by value; what the run produced comes back apart from it.
struct ConversionOptions {
    bool keepDate = false;       // outputs receive the source's file times
    bool quiet = false;          // a command-line run shows no results box
    bool keepExtension = false;  // folder runs name a.tif -> a.tif.jpg
    bool optimize = true;        // optimised Huffman tables
    int32_t includeSubfolders = 0;
    int32_t keepHierarchy = 0;   // only the value 1 rebuilds the source tree
    int32_t conversionKind = ConversionNone;
    int32_t quality = 50;
    const OutputFormat* outputFormat = &defaultOutputFormat();  // what every file is converted into
    // The languages the text of every page is recognised in ("eng+deu"),
    // checked before the run starts; empty: no text recognition.
    std::string ocrLanguages;
    // Facts of every fax given on the command line (/meta=NAME=VALUE), over
    // what the faxes state; checked before the run starts.
    GivenFaxFacts givenFacts;
    // Folder runs: each fax's outputs named by this template of its facts
    // (output/name_template.h) instead of after its file; empty: after its
    // file. Checked before the run starts.
    std::string nameTemplate;
    // Where the names a template gave are kept with the sources that wrote
    // them, so that a fax converted again gets its own names back; empty:
    // nowhere.
    std::string nameRecord;
    // Delivery of each fax converted: a rules file (/rules=), the rule the
    // command line makes (/mailto=, /subject=, /hook=; tried after the
    // file's), the mail's sender and program, the hook's time. The run's
    // owner reads them into `delivery` before the run starts; null: the
    // faxes are not delivered.
    std::string rulesFile;
    std::optional<DeliveryRule> commandLineRule;
    std::string mailFrom;
    std::string sendmail = "/usr/sbin/sendmail";
    int32_t hookSeconds = 60;
    std::shared_ptr<const RunDelivery> delivery;
    int32_t skipExisting = 0;    // 1: a non-empty existing output is not redone
    std::string filter = "*.*";
    std::string source;
    std::string destination;
    std::string backupFolder;
    std::vector<std::string> fileList;  // folder runs: paths relative to source
    // Folder runs: files converted at a time; 0 one per processor core.
    int32_t jobs = 1;
    // Folder runs from the command line: keep watching the source folder
    // and convert what arrives, each file once it has not changed for
    // settleSeconds (-1: a value that cannot be used).
    bool watch = false;
    int32_t settleSeconds = 2;
    // The watcher's first wait before it tries a deferred delivery again.
    int32_t retrySeconds = 60;
    // Folder runs from the command line, spread over machines: print the
    // files in groups that must stay together instead of converting them;
    // or convert the files a listing names (a file, "-" for standard input)
    // instead of those the folder holds.
    bool listGroups = false;
    std::string listedFiles;
};

}  // namespace pagelift
