// Cost of crowds on the real device:
//  - one log line through DebugLog (opened, appended and closed per call);
//  - one frame of the blob grid (32 x 32 arrows) as the show keys it at
//    12 s, with the render-state dump of every cell and without it (the same
//    cells drawn by a stand-in that skips only the dump);
//  - 740 impostored trees ("tree1.x", as the client scene plants them): the
//    render-target memory, a frame that refreshes every impostor, a frame
//    that refreshes none, and frames of a camera walking through them.
//
//     build/bench/bench_crowds [run folder, default build/run] [frames]
//
// Runs headless (SDL's offscreen driver) unless SDL_VIDEODRIVER is set, on one
// llvmpipe thread unless LP_NUM_THREADS is set. Figures are processor time
// of the whole process, the best of five rounds, the cores being shared.
#include <windows.h>
#include <d3d9.h>

#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "blob2dcompuesto.h"
#include "config.h"
#include "crowd.h"
#include "debuglog.h"
#include "escenor.h"
#include "renderer.h"
#include "show_gfx.h"
#include "utils.h"

namespace {

const int kRounds = 5;

// Processor time of the whole process (every thread, the kernel's share
// included) in ms: steadier than the wall clock on shared cores.
double CpuMs()
{
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

template <typename F>
double TimeOnce(int frames, F& draw)
{
    auto frame = [&](int i) {
        m_pd3dDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
        m_pd3dDevice->BeginScene();
        draw(i);
        m_pd3dDevice->EndScene();
        m_pd3dDevice->Present(nullptr, nullptr, nullptr, nullptr);
    };
    frame(0); // warm-up
    const double t0 = CpuMs();
    for (int i = 1; i <= frames; ++i)
        frame(i);
    return (CpuMs() - t0) / frames;
}

// The best of several rounds (the cores are shared): ms per frame.
template <typename F>
double Time(int frames, F draw)
{
    double best = 1e30;
    for (int round = 0; round < kRounds; ++round)
        best = std::min(best, TimeOnce(frames, draw));
    return best;
}

// A cell drawn exactly as CrowdMesh draws one without impostor, less the
// render-state dump.
class UndumpedCell : public CrowdMesh {
public:
    UndumpedCell(const CrowdMesh& cell, const D3DXVECTOR3* box)
        : CrowdMesh(cell.m_pMesh, &cell.m_sphereCenter, cell.m_sphereRadius, box, false)
    {
    }
    int Render(Camera* camara, float frameTime) override
    {
        m_pd3dDevice->SetRenderState(D3DRS_LIGHTING, TRUE);
        return StaticMesh::Render(camara, frameTime);
    }
};

long long FileSize(const char* name)
{
    std::error_code ec;
    const auto size = std::filesystem::file_size(name, ec);
    return ec ? 0 : (long long)size;
}

} // namespace

int main(int argc, char** argv)
{
    // One llvmpipe thread unless told otherwise: steadier figures.
    if (!std::getenv("LP_NUM_THREADS"))
        setenv("LP_NUM_THREADS", "1", 1);
    std::string run = std::filesystem::absolute(argc > 1 ? argv[1] : "build/run").string();
    int frames = argc > 2 ? std::atoi(argv[2]) : 20;
    if (!std::filesystem::exists(run + "/data/models/arrow.x") ||
        !std::filesystem::exists(run + "/data/models/tree1.x")) {
        std::fprintf(stderr, "bench_crowds: no show data in %s\n", run.c_str());
        return 1;
    }
    NimbGfx* gfx = OpenShowGfx("crowds", run);
    if (!gfx)
        return 1;

    {
        const int lines = 10000;
        double logUs = 1e30, dumpUs = 1e30;
        for (int round = 0; round < kRounds; ++round) {
            double t0 = CpuMs();
            for (int i = 0; i < lines; ++i)
                DebugLog("----------------------------------------------------\n");
            logUs = std::min(logUs, (CpuMs() - t0) * 1000 / lines);
            t0 = CpuMs();
            for (int i = 0; i < lines; ++i)
                DumpRenderStates();
            dumpUs = std::min(dumpUs, (CpuMs() - t0) * 1000 / lines);
        }
        std::printf("DebugLog, one 53-byte line:           %8.2f us per call\n", logUs);
        std::printf("DumpRenderStates, no state changed:   %8.2f us per call\n", dumpUs);
    }
    {
        // A light as the client scene leaves one on.
        D3DLIGHT9 light;
        InitLight(light, D3DLIGHT_DIRECTIONAL, -1.0f, -1.0f, 1.0f);
        m_pd3dDevice->SetLight(0, &light);
        m_pd3dDevice->LightEnable(0, TRUE);

        g_sequenceTime = 0.0f;
        Escenor* show = new Escenor("fichero_script.qvs");
        CBlob2DCompuesto* blob = nullptr;
        for (ScheduleItem* item : show->m_pendingItems)
            if (auto* b = dynamic_cast<CBlob2DCompuesto*>(item->m_pEffect))
                blob = b;
        if (!blob) {
            std::fprintf(stderr, "bench_crowds: no blob grid in the show\n");
            return 1;
        }
        blob->DoInit();
        g_sequenceTime = 12.0f;
        const long long logBefore = FileSize("debug.txt");
        const double withDump = Time(frames, [&](int) { blob->DoRender(1.0f / 7.0f); });
        const double logPerFrame = (double)(FileSize("debug.txt") - logBefore) / (kRounds * (frames + 1));

        // The same cells through stand-ins that skip the dump.
        const long long cells = blob->CellCount();
        std::vector<CrowdMesh*> originals(blob->m_instancias, blob->m_instancias + cells);
        std::vector<UndumpedCell*> plain;
        for (CrowdMesh* cell : originals) {
            const D3DXVECTOR3 box[2] = {cell->m_boxMin, cell->m_boxMax};
            plain.push_back(new UndumpedCell(*cell, box));
        }
        auto swap = [&](bool toPlain) {
            for (long long n = 0; n < cells; ++n) {
                CrowdMesh* from = toPlain ? originals[n] : plain[n];
                CrowdMesh* to = toPlain ? plain[n] : originals[n];
                blob->m_instancias[n] = to;
                for (SceneObject*& o : blob->m_pEscena->m_objects)
                    if (o == from)
                        o = to;
            }
        };
        swap(true);
        const double withoutDump = Time(frames, [&](int) { blob->DoRender(1.0f / 7.0f); });
        swap(false);
        for (UndumpedCell* p : plain)
            delete p;
        std::printf("blob grid frame at 12 s (%lld cells), with the dump:    %8.2f ms (%.0f log bytes)\n", cells,
                    withDump, logPerFrame);
        std::printf("blob grid frame at 12 s (%lld cells), without the dump: %8.2f ms\n", cells, withoutDump);
        delete show;
        m_pd3dDevice->LightEnable(0, FALSE);
    }
    {
        // 740 trees on a ring from 25 to 150 units around the camera's start.
        const int count = 740;
        const double t0 = CpuMs();
        Crowd* trees = new Crowd(true);
        trees->Load("tree1.x");
        Scene scene;
        scene.Add(trees);
        std::vector<CrowdMesh*> made;
        for (int i = 0; i < count; ++i) {
            CrowdMesh* tree = trees->AddInstance();
            const float a = i * 2.39996f, d = 25.0f + 125.0f * (i % 97) / 96.0f;
            tree->m_position = D3DXVECTOR3(d * std::sin(a), 0.0f, d * std::cos(a));
            tree->m_yaw = a;
            scene.Add(tree);
            made.push_back(tree);
        }
        const double makeMs = CpuMs() - t0;
        long long targetBytes = 0;
        int impostors = 0;
        for (CrowdMesh* tree : made) {
            if (!tree->m_pImpostorTexture)
                continue;
            D3DSURFACE_DESC desc;
            tree->m_pImpostorTexture->GetLevelDesc(0, &desc);
            const int bytes = desc.Format == D3DFMT_A8R8G8B8 ? 4 : 2;
            targetBytes += (long long)desc.Width * desc.Height * bytes;
            ++impostors;
        }
        std::printf("740 trees made (%d impostors):        %8.2f ms, render targets %.1f MiB + one 128 x 128 depth\n",
                    impostors, makeMs, targetBytes / 1048576.0);

        Camera camera;
        camera.SetPosition(0.0f, 2.0f, 0.0f);
        camera.SetLookAt(0.0f, 2.0f, 10.0f);
        auto refreshes = [&] {
            int n = 0;
            for (CrowdMesh* tree : made)
                n += tree->m_impostorAngle != 1000.0f;
            return n;
        };
        // As at the first far frame: every impostor rendered again.
        const double allRefresh = Time(std::max(1, frames / 5), [&](int) {
            for (CrowdMesh* tree : made)
                tree->m_impostorAngle = 1000.0f;
            scene.Render(&camera, 0.0f);
        });
        const int visible = refreshes();
        const double noRefresh = Time(frames, [&](int) { scene.Render(&camera, 0.0f); });
        std::printf("trees, frame refreshing every visible impostor (%d): %8.2f ms\n", visible, allRefresh);
        std::printf("trees, frame refreshing none:                       %8.2f ms\n", noRefresh);
        // Walking forward 0.1 units a frame: near trees turn past the threshold.
        float z = 0.0f;
        std::vector<float> before(made.size());
        int turned = 0;
        const double walking = Time(frames, [&](int) {
            for (size_t k = 0; k < made.size(); ++k)
                before[k] = made[k]->m_impostorAngle;
            z += 0.1f;
            camera.SetPosition(0.0f, 2.0f, z);
            camera.SetLookAt(0.0f, 2.0f, z + 10.0f);
            scene.Render(&camera, 0.0f);
            for (size_t k = 0; k < made.size(); ++k)
                turned += made[k]->m_impostorAngle != before[k];
        });
        std::printf("trees, walking 0.1 a frame:                         %8.2f ms (%.1f refreshes a frame)\n",
                    walking, (double)turned / (kRounds * (frames + 1)));
        for (CrowdMesh* tree : made)
            delete tree;
        delete trees;
    }

    CloseShowGfx(gfx);
    return 0;
}
