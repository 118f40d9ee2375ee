#pragma once

#include "faxdoc/fax_reader.h"
#include "raster/page_bitmap.h"
#include "settings/decode_settings.h"

#include <memory>
#include <string>

namespace pagelift {

// What a document asks of the reader of its container, whatever the
// container: one object per opened file.
class ContainerReader {
public:
    virtual ~ContainerReader() = default;

    // Opens `path`; false when it cannot be opened.
    virtual bool open(const std::string& path) = 0;
    // The pages of the open file when its header is of the format (a raw
    // stream: when its analysis found pages, `page` then holding scratch
    // state of it), else -1.
    virtual int countPages(const DecodeSetup& setup, PageBitmap& page) = 0;
    // Decodes page `index` (from 0) into `page`; an unreadable page leaves
    // it empty.
    virtual void readPage(size_t index, const DecodeSetup& setup, PageBitmap& page) = 0;
    // What the open file says of the fax as a whole; empty texts for
    // containers that say nothing.
    virtual FaxTexts faxTexts() { return {}; }
    virtual void close() = 0;
};

// A ContainerReader for a reader class with a header (checkHeader() == 0
// when the file is of its format). Readers that probe for MMR pages take the
// document's probe settings before each page; the FX reader adds the page's
// text.
template <class Reader>
class HeaderReader final : public ContainerReader {
public:
    bool open(const std::string& path) override
    {
        reader_.openFile(path);
        return reader_.isOpen();
    }

    int countPages(const DecodeSetup&, PageBitmap&) override
    {
        return reader_.checkHeader() == 0 ? int(reader_.countPages()) : -1;
    }

    void readPage(size_t index, const DecodeSetup& setup, PageBitmap& page) override
    {
        const DecodeSettings& settings = setup.settings;
        if constexpr (requires { reader_.setProbeSettings(settings.threshold, settings.flagNum); }) {
            reader_.setProbeSettings(settings.threshold, settings.flagNum);
        }
        reader_.readPage(index, page);
        if constexpr (requires { reader_.readPageText(index, page); }) reader_.readPageText(index, page);
    }

    FaxTexts faxTexts() override
    {
        if constexpr (requires { reader_.faxTexts(); }) return reader_.faxTexts();
        return {};
    }

    void close() override { reader_.closeFile(); }

private:
    Reader reader_;
};

template <class Reader>
std::unique_ptr<ContainerReader> makeHeaderReader()
{
    return std::make_unique<HeaderReader<Reader>>();
}

}  // namespace pagelift
