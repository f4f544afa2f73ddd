// Records the pipeline states the show draws with into the run folder's
// data/d3d9-pipelines.bin, the cache a first run prepares behind the loading
// bar. It plays the show once, off-screen without sound, in a scratch folder
// (the run folder's data and config.xml), with the device told to write
// every state it met; the file holds them sorted, so the same show gives the
// same bytes.
//
//     record_pipelines <program> <run folder>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: record_pipelines <program> <run folder>\n");
        return 2;
    }
    const std::string program = fs::absolute(argv[1]).string(), run = fs::absolute(argv[2]).string();
    char templ[] = "/tmp/record_pipelines_XXXXXX";
    if (!mkdtemp(templ)) {
        std::perror("record_pipelines: mkdtemp");
        return 1;
    }
    const std::string scratch = templ, recorded = scratch + "/recorded.bin";
    std::error_code ec;
    fs::create_directory_symlink(run + "/data", scratch + "/data", ec);
    fs::copy_file(run + "/config.xml", scratch + "/config.xml", ec);
    if (ec) {
        std::fprintf(stderr, "record_pipelines: no config.xml in %s\n", run.c_str());
        fs::remove_all(scratch);
        return 1;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(scratch.c_str()) != 0) _exit(127);
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        setenv("XDG_CACHE_HOME", scratch.c_str(), 1);
        setenv("NIMB_D3D9_PIPELINES", "off", 1);
        setenv("NIMB_D3D9_PIPELINE_RECORD", recorded.c_str(), 1);
        if (!freopen("out.txt", "w", stdout) || !freopen("err.txt", "w", stderr)) _exit(127);
        execl(program.c_str(), program.c_str(), (char*)nullptr);
        _exit(127);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) status = -1;
    // The device writes the file as it is released; a nonzero status after
    // that (a leak report of a sanitized build) leaves the record whole.
    const bool ok = fs::exists(recorded) && fs::file_size(recorded) > 0;
    if (ok) {
        fs::create_directories(run + "/data/..", ec);
        const std::string out = run + "/data/d3d9-pipelines.bin";
        fs::copy_file(recorded, out + ".tmp", fs::copy_options::overwrite_existing, ec);
        if (!ec) fs::rename(out + ".tmp", out, ec);
        if (ec) std::fprintf(stderr, "record_pipelines: cannot write %s\n", out.c_str());
        else std::printf("record_pipelines: %ju bytes of pipeline states in %s\n", (uintmax_t)fs::file_size(out),
                         out.c_str());
    } else {
        std::fprintf(stderr, "record_pipelines: the show recorded nothing (status %d)\n", status);
    }
    fs::remove_all(scratch);
    return ok && !ec ? 0 : 1;
}
