// The data generators: the same bytes on every run, and a clear failure
// when they cannot write.
#include <gtest/gtest.h>

#include <cstdlib>

#include "showdata_util.h"

using namespace showdata;

namespace {

class Generator : public ::testing::TestWithParam<const char*> {
};

TEST_P(Generator, WritesTheSameBytesOnEveryRunAsTheBuildDid)
{
    Scratch first, second;
    ASSERT_TRUE(RunGenerator(GetParam(), first.Path()));
    ASSERT_TRUE(RunGenerator(GetParam(), second.Path()));
    std::vector<std::string> files = ListFiles(first.Path());
    ASSERT_FALSE(files.empty());
    EXPECT_EQ(files, ListFiles(second.Path()));
    for (const std::string& f : files) {
        std::string bytes = ReadFile(first.Path() + "/" + f);
        EXPECT_FALSE(bytes.empty()) << f;
        EXPECT_TRUE(bytes == ReadFile(second.Path() + "/" + f)) << f << " differs between two runs";
        EXPECT_TRUE(bytes == ReadFile(std::string(NIMB_RUN_DIR) + "/" + f)) << f << " differs from the run folder";
    }
}

TEST_P(Generator, FailsWhenItCannotWrite)
{
    Scratch scratch;
    // A plain file where the data folder should be.
    std::string blocked = scratch.Path() + "/blocked";
    ASSERT_EQ(std::system(("mkdir -p '" + blocked + "' && touch '" + blocked + "/data'").c_str()), 0);
    std::string tool = "'" NIMB_BINARY_DIR "/tools/" + std::string(GetParam()) + "'";
    EXPECT_NE(std::system((tool + " '" + blocked + "' 2>/dev/null").c_str()), 0);
    EXPECT_NE(std::system((tool + " 2>/dev/null").c_str()), 0) << "without a run folder";
}

INSTANTIATE_TEST_SUITE_P(ShowData, Generator, ::testing::Values("make_models", "make_terrain", "make_pictures"));

} // namespace
