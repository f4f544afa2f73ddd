// Cost of the show's 2D half on the real device:
//  - scene culling: one Scene::Render over 10,000 objects with bounding
//    spheres (half inside the view) whose own draw does nothing;
//  - quads: 200 screen quads of one picture drawn through a scene;
//  - the show's busiest 2D moment (5.3 s: background, flying picture, two
//    flashes, the emblem and both texts), one frame of the sequencer.
//
//     build/bench/bench_show2d [run folder, default build/run] [frames]
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
#include <vector>

#include "camera.h"
#include "config.h"
#include "escenor.h"
#include "quads.h"
#include "renderer.h"
#include "show_gfx.h"
#include "scene.h"
#include "timer.h"
#include "windows/win_internal.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }

class Dot : public SceneObject {
public:
    int Render(Camera*, float) override { return 0; }
};

void Frame(const std::function<void()>& draw) {
    m_pd3dDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    m_pd3dDevice->BeginScene();
    draw();
    m_pd3dDevice->EndScene();
    m_pd3dDevice->Present(nullptr, nullptr, nullptr, nullptr);
}

template <typename F>
double Time(int frames, F draw) {
    Frame(draw);  // warm-up: first use of the states and textures
    Clock::time_point t0 = Clock::now();
    for (int i = 0; i < frames; ++i) Frame(draw);
    return Ms(t0, Clock::now()) / frames;
}

}  // namespace

int main(int argc, char** argv) {
    std::string run = std::filesystem::absolute(argc > 1 ? argv[1] : "build/run").string();
    int frames = argc > 2 ? std::atoi(argv[2]) : 200;
    if (!std::filesystem::exists(run + "/data/textures/initimg.png")) {
        std::fprintf(stderr, "bench_show2d: no show data in %s\n", run.c_str());
        return 1;
    }
    NimbGfx* gfx = OpenShowGfx("show2d", run);
    if (!gfx)
        return 1;

    {
        Camera camera;
        camera.Apply();
        std::vector<Dot*> dots;
        Scene scene;
        for (int i = 0; i < 10000; ++i) {
            Dot* d = new Dot();
            d->m_hasSphere = true;
            d->m_sphereRadius = 1.0f;
            float x = (float)((i * 37) % 400 - 200), y = (float)((i * 91) % 300 - 150);
            d->m_position = D3DXVECTOR3(i % 2 ? x : x * 10.0f, y, (float)(i % 500));
            dots.push_back(d);
            scene.Add(d);
        }
        double ms = Time(frames, [&] { scene.Render(&camera, 0.0f); });
        std::printf("scene culling, 10000 objects:      %8.3f ms per Scene::Render\n", ms);
        for (Dot* d : dots) delete d;
    }
    {
        Camera camera;
        Scene scene;
        std::vector<StaticQuad*> quads;
        for (int i = 0; i < 200; ++i) {
            StaticQuad* q = new StaticQuad("banderillas_01.png", 800, 600, i % 2 == 0);
            q->m_scaleX = q->m_scaleY = 0.1f;
            q->m_posX = (i % 20) * 0.05f;
            q->m_posY = (i / 20) * 0.1f;
            quads.push_back(q);
            scene.Add(q);
        }
        double ms = Time(frames, [&] { scene.Render(&camera, 0.0f); });
        std::printf("200 screen quads through a scene:  %8.3f ms per frame\n", ms);
        for (StaticQuad* q : quads) delete q;
    }
    {
        PlatformScriptClocks(true, 1000000);
        PlatformSetCounter(0);
        TimerResetState();
        Timer(TimerCommand::Start);
        Escenor* show = new Escenor("fichero_script.qvs");
        Clock::time_point t0 = Clock::now();
        show->Init();
        double loadMs = Ms(t0, Clock::now());
        PlatformSetCounter(5300000);
        double ms = Time(frames, [&] { show->RenderFrame(); });
        std::printf("show load behind the loading bar:  %8.3f ms\n", loadMs);
        std::printf("show frame at 5.3 s:               %8.3f ms per frame\n", ms);
        delete show;
        PlatformRealClocks();
    }

    CloseShowGfx(gfx);
    return 0;
}
