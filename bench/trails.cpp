// Cost of the meshes and trails on the real device:
//  - loading the show's arrow (read, optimise, normals, drawn clone);
//  - the tails alone: easing and posing 8 tails of 15 copies of a leader
//    without geometry, per TailMesh::Render;
//  - one frame of CObjetoEstela (6 arrows) and of CPulpo (121 arrows) as the
//    show keys them at 2.5 s and 10 s.
//
//     build/bench/bench_trails [run folder, default build/run] [frames]
//
// Runs headless (SDL's offscreen driver) unless SDL_VIDEODRIVER is set.
#include <windows.h>
#include <d3d9.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include "config.h"
#include "escenor.h"
#include "meshresource.h"
#include "objetoestela.h"
#include "pulpo.h"
#include "renderer.h"
#include "show_gfx.h"
#include "tailmesh.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

template <typename F>
double Time(int frames, F draw)
{
    auto frame = [&] {
        m_pd3dDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
        m_pd3dDevice->BeginScene();
        draw();
        m_pd3dDevice->EndScene();
        m_pd3dDevice->Present(nullptr, nullptr, nullptr, nullptr);
    };
    frame(); // warm-up
    Clock::time_point t0 = Clock::now();
    for (int i = 0; i < frames; ++i)
        frame();
    return Ms(t0, Clock::now()) / frames;
}

// The effect of class T in the built show, initialised, with its entry.
template <typename T>
T* ShowEffect(Escenor& show, ScheduleItem** entry)
{
    for (ScheduleItem* item : show.m_pendingItems)
        if (T* e = dynamic_cast<T*>(item->m_pEffect)) {
            *entry = item;
            e->DoInit();
            return e;
        }
    return nullptr;
}

} // namespace

int main(int argc, char** argv)
{
    std::string run = std::filesystem::absolute(argc > 1 ? argv[1] : "build/run").string();
    int frames = argc > 2 ? std::atoi(argv[2]) : 200;
    if (!std::filesystem::exists(run + "/data/models/arrow.x")) {
        std::fprintf(stderr, "bench_trails: no show data in %s\n", run.c_str());
        return 1;
    }
    NimbGfx* gfx = OpenShowGfx("trails", run);
    if (!gfx)
        return 1;

    {
        const int loads = 20;
        Clock::time_point t0 = Clock::now();
        for (int i = 0; i < loads; ++i) {
            MeshResource mesh("arrow");
            mesh.Create(m_pd3dDevice, "data\\models\\arrow.x");
            mesh.RestoreDeviceObjects(m_pd3dDevice);
        }
        std::printf("arrow.x load and drawn clone:      %8.3f ms\n", Ms(t0, Clock::now()) / loads);
    }
    {
        // No file: the copies are posed but draw nothing.
        TailMesh leader("none.x");
        for (int i = 0; i < 8; ++i)
            leader.AddTail(15, 1, 0.25f, 1, 0.25f, 1, 0.25f, 1, 0.15f, 1, 0, 1, 0, 1, 0.9f);
        Camera camera;
        const int renders = frames * 20;
        Clock::time_point t0 = Clock::now();
        for (int k = 0; k < renders; ++k) {
            leader.m_yaw = 0.01f * k;
            leader.UpdateWorld();
            leader.Render(&camera, 0.001f);
        }
        const double ms = Ms(t0, Clock::now()) / renders;
        std::printf("8 x 15 tail copies eased, no mesh: %8.3f ms per TailMesh::Render\n", ms);
    }
    {
        g_sequenceTime = 0.0f;
        Escenor* show = new Escenor("fichero_script.qvs");
        ScheduleItem* entry = nullptr;
        CObjetoEstela* estela = ShowEffect<CObjetoEstela>(*show, &entry);
        g_sequenceTime = 2.5f;
        double ms = Time(frames, [&] { estela->DoRender(0.25f); });
        std::printf("CObjetoEstela frame at 2.5 s:      %8.3f ms per frame\n", ms);
        CPulpo* pulpo = ShowEffect<CPulpo>(*show, &entry);
        g_sequenceTime = 10.0f;
        ms = Time(frames, [&] { pulpo->DoRender(5.0f / 13.0f); });
        std::printf("CPulpo frame at 10 s:              %8.3f ms per frame\n", ms);
        delete show;
    }

    CloseShowGfx(gfx);
    return 0;
}
