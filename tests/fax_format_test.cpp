// Which reader a file name leads to.

#include "faxdoc/fax_document.h"
#include "faxdoc/fax_format.h"
#include "support/fax_fixtures.h"

#include <gtest/gtest.h>

namespace pagelift {
namespace {

TEST(IdentifyFormat, ExtensionsAreMatchedByPrefixWithoutRegardToCase)
{
    struct Case {
        const char* path;
        FaxFormat format;
    };
    const Case cases[] = {
        {"/in/FAX.TIF", Tiff},       {"/in/fax.Tiff", Tiff},       {"/in/fax.tiffx", Tiff},
        {"/in/a.fmf", Fmf},          {"/in/a.FXS", Fx},            {"/in/a.fxd", Fx},
        {"/in/a.awd", Awd},          {"/in/a.apf", Apf},           {"/in/a.bfx", BitFax},
        {"/in/a.dcx", Dcx},          {"/in/a.bmp", Bmp},           {"/in/a.cals", Cals},
        {"/in/a.ras", Cals},         {"/in/a.ig4", Ig4},           {"/in/a.qfx", Qfx},
        {"/in/a.g3n", G3n},          {"/in/a.ds", Ds},             {"/in/fax.dsp", Ds},
        {"/in/a.ed", Ed},            {"/in/a.sft", Sft},           {"/in/notes.txt", NotFax},
        {"/in/x.ZIP", NotFax},       {"/in/x.db", NotFax},         {"/in/x.dbf", NotFax},
        {"/in/fax.xyz", RawFax},     {"/in/call.g3", RawFax},      {"/in/fax.001", RawFax},
        {"/in/pic.jpg", RawFax},     {"/in/a.t", RawFax},          {"/in/trailing.", RawFax},
        // Only the file name's dot counts: a name without one has no extension.
        {"/scans/fax", RawFax},      {"/in.box/fax", RawFax},      {"/in.tif/fax", RawFax},
        {"/scans/.tif", Tiff},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(identifyFormat(c.path), c.format) << c.path;
    }
}

TEST(IdentifyFormat, G3fFilesAreToldApartByTheirFirstBytes)
{
    faxtest::ScratchFolder scratch;
    struct Case {
        const char* name;
        std::string bytes;
        FaxFormat format;
    };
    const Case cases[] = {
        {"tiff.g3f", std::string("II*\0\x08\0\0\0", 8), G3n},
        {"research.G3F", std::string("\x01PC Research, Inc\x00\x00", 19), PcResearch},
        {"other.g3f", "plain fax data", RawFax},
        {"short.g3f", "I", RawFax},
        {"bigendian.g3f", std::string("MM\0*", 4), RawFax},
    };
    for (const Case& c : cases) {
        const std::string path = scratch.file(c.name);
        faxtest::writeText(path, c.bytes);
        EXPECT_EQ(identifyFormat(path), c.format) << c.name;
    }
    EXPECT_EQ(identifyFormat(scratch.file("absent.g3f")), RawFax);
}

TEST(FormatDispatch, EveryFormatHasItsReaderAndOthersAreRawStreams)
{
    EXPECT_EQ(dispatchFor(Tiff).reader, ReaderKind::Tiff);
    EXPECT_EQ(dispatchFor(Fmf).reader, ReaderKind::Tiff);
    EXPECT_EQ(dispatchFor(G3n).reader, ReaderKind::Tiff);
    EXPECT_TRUE(dispatchFor(Awd).convertedFirst);
    EXPECT_EQ(dispatchFor(Qfx).reader, ReaderKind::Qliifax);
    EXPECT_EQ(dispatchFor(Sft).reader, ReaderKind::SftFax);
    for (int32_t value : {-2, 0, 2, 15, 19, 1000}) {
        EXPECT_EQ(dispatchFor(static_cast<FaxFormat>(value)).reader, ReaderKind::RawFax) << value;
    }
}

}  // namespace
}  // namespace pagelift
