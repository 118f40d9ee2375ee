// Which reader a file name leads to.

#include "faxdoc/container_formats.h"
#include "faxdoc/fax_format.h"
#include "faxdoc/readers/jbig_reader.h"
#include "faxdoc/readers/sff_reader.h"
#include "support/fax_fixtures.h"

#include <gtest/gtest.h>

#include <set>

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
        {"/isdn/in.SFF", Sff},       {"/srv/p.jbg", Jbig},         {"/srv/p.JBIG", Jbig},
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

TEST(ContainerFormats, EveryFormatHasOneRowAndOthersAreRawStreams)
{
    std::set<int32_t> seen;
    for (const ContainerFormat& row : containerFormats()) {
        EXPECT_TRUE(seen.insert(row.format).second) << "format " << row.format << " has two rows";
        EXPECT_EQ(&containerFormatOf(row.format), &row) << row.format;
        EXPECT_NE(row.makeReader(), nullptr) << row.format;
    }
    for (const FaxFormat format : {Tiff, Fmf, G3n}) EXPECT_TRUE(containerFormatOf(format).pagesInAnyOrder) << format;
    EXPECT_EQ(containerFormatOf(Awd).opening, Opening::ConvertedToTiff);
    EXPECT_FALSE(containerFormatOf(Awd).pagesInAnyOrder);
    for (int32_t value : {-2, 0, 2, 15, 1000}) {
        EXPECT_EQ(containerFormatOf(static_cast<FaxFormat>(value)).opening, Opening::RawStream) << value;
    }
}

}  // namespace
}  // namespace pagelift
