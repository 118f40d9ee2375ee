#include "batch/fax_facts_reading.h"

#include "faxdoc/container_formats.h"
#include "faxdoc/fax_document.h"
#include "faxdoc/fax_format.h"

namespace pagelift {

FaxFacts readFaxFacts(const std::string& path)
{
    FaxFacts facts;
    const FaxFormat format = identifyFormat(path);
    FaxDocument document;
    if (format != NotFax && FaxDocument::readsPagesInAnyOrder(format) && document.openForPages(path, format)) {
        const FaxTexts& texts = document.texts();
        facts = faxFactsOfContainer(texts.description, texts.dateTime, texts.make, texts.model, texts.subAddress);
        facts.pages = document.pageCount();
        document.close();
    } else if (format != NotFax && containerFormatOf(format).opening == Opening::WithHeader) {
        // Their headers count their pages; raw streams and AWD documents
        // would have to be decoded first.
        if (const int pages = document.countPages(path, format); pages > 0) facts.pages = pages;
    }
    facts.source = faxSourceName(path);
    return facts;
}

}  // namespace pagelift
