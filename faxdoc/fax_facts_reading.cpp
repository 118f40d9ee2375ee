#include "faxdoc/fax_facts_reading.h"

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
    }
    facts.source = faxSourceName(path);
    return facts;
}

}  // namespace pagelift
