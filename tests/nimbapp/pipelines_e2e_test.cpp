// The pipeline-state cache shipped in the run folder holds every state the
// show draws with, so that a first run prepares them all behind the loading bar.
#include "scratch_folder.h"
#include "xvfb.h"

#include "d3d9/d3d9_pipelines.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

TEST(Show, DrawsOnlyPipelineStatesTheShippedCacheHolds)
{
    d3d9gl::PipelineSet shipped;
    ASSERT_TRUE(d3d9gl::ReadPipelineCache(std::string(NIMB_RUN_DIR) + "/data/d3d9-pipelines.bin", shipped))
        << "no readable data/d3d9-pipelines.bin in the run folder (the run_pipelines target records it)";
    ScratchFolder run;
    std::filesystem::copy_file(std::string(NIMB_RUN_DIR) + "/config.xml", "config.xml");
    std::error_code ec;
    std::filesystem::create_directory_symlink(std::string(NIMB_RUN_DIR) + "/data", "data", ec);
    const std::string cmd = "export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy NIMB_D3D9_PIPELINES=off "
                            "NIMB_D3D9_PIPELINE_RECORD=met.bin XDG_CACHE_HOME=$PWD; "
                            "timeout -s KILL 400 '" + std::string(NIMB_PROGRAM) + "' >out.txt 2>err.txt";
    ASSERT_EQ(ShellStatus(cmd), 0) << "stderr: " << ScratchFolder::Read("err.txt");
    d3d9gl::PipelineSet met;
    ASSERT_TRUE(d3d9gl::ReadPipelineCache("met.bin", met)) << "the show recorded no pipeline states";
    size_t missing = 0;
    for (const d3d9gl::PipelineState& s : met) missing += shipped.count(s) == 0;
    EXPECT_EQ(missing, 0u) << "the show drew " << missing << " of its " << met.size()
                           << " pipeline states without the shipped cache holding them: record it again "
                              "(build/tools/record_pipelines build/run/nimbshow build/run, or delete "
                              "build/run/data/d3d9-pipelines.bin and build the run_pipelines target)";
}

} // namespace
