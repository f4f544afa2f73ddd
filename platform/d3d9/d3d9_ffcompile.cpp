// Fixed-function programs without a compile inside a frame: the program
// that takes the key as data, and specialised programs compiled on a second
// GL context, in a worker thread, and taken once linked.
#include "d3d9_ffp.h"

#include <SDL.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace d3d9gl {

namespace {
std::atomic<int> g_pathOverride{-1};
} // namespace

ProgramPath ProgramPathSetting()
{
    const int forced = g_pathOverride.load();
    if (forced >= 0) return (ProgramPath)forced;
    const char* v = std::getenv("NIMB_D3D9_PROGRAMS");
    if (v && std::strcmp(v, "uber") == 0) return ProgramPath::Uber;
    if (v && std::strcmp(v, "specialised") == 0) return ProgramPath::Specialised;
    if (v && std::strcmp(v, "background") == 0) return ProgramPath::Background;
    return ProgramPath::Auto;
}

void SetProgramPath(ProgramPath path, bool overridden) { g_pathOverride = overridden ? (int)path : -1; }

bool SoftwareRenderer(const char* renderer)
{
    if (!renderer) return false;
    for (const char* name : {"llvmpipe", "softpipe", "swrast"})
        if (std::strstr(renderer, name)) return true;
    return false;
}

ProgramPath PathForRenderer(ProgramPath setting, const char* renderer)
{
    if (setting != ProgramPath::Auto) return setting;
    return SoftwareRenderer(renderer) ? ProgramPath::Specialised : ProgramPath::Background;
}

// The worker: compiles and links the pairs asked of it, in order, on its
// own context, and hands back GL program names.
class FFCompiler {
public:
    struct Done {
        FFKeyPair keys;
        GLuint program;  // 0 when it did not build
    };

    FFCompiler(SDL_Window* window, void* context)
    {
        // A context in the same share group, current in the worker on a
        // hidden window of its own (a surface is current in one thread only).
        m_window = SDL_CreateWindow("", 0, 0, 1, 1, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        if (!m_window) return;
        SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, 1);
        m_context = SDL_GL_CreateContext(m_window);
        SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, 0);
        SDL_GL_MakeCurrent(window, (SDL_GLContext)context);
        if (!m_context) return;
        m_thread = std::thread([this] { Run(); });
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_started; });
        if (!m_running) {
            lock.unlock();
            m_thread.join();
        }
    }

    ~FFCompiler()
    {
        if (m_thread.joinable()) {
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_stop = true;
            }
            m_changed.notify_all();
            m_thread.join();
        }
        if (m_context) SDL_GL_DeleteContext((SDL_GLContext)m_context);
        if (m_window) SDL_DestroyWindow(m_window);
    }

    bool Available() const { return m_running; }

    void Ask(const FFKeyPair& keys)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_queue.push_back(keys);
            ++m_pending;
        }
        m_changed.notify_all();
    }

    bool HasDone() const { return m_doneCount.load(std::memory_order_acquire) != 0; }

    std::vector<Done> Take()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<Done> out;
        out.swap(m_done);
        m_doneCount = 0;
        return out;
    }

    void WaitIdle()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_pending == 0; });
    }

private:
    void Run()
    {
        const bool current =
            SDL_GL_MakeCurrent(m_window, (SDL_GLContext)m_context) == 0 && gl.glGetString(GL_VERSION) != nullptr;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_started = true;
            m_running = current;
        }
        m_changed.notify_all();
        if (!current) {
            SDL_GL_MakeCurrent(m_window, nullptr);
            return;
        }
        std::unordered_map<FFVertexKey, GLuint, KeyHash<FFVertexKey>> vertex;
        std::unordered_map<FFPixelKey, GLuint, KeyHash<FFPixelKey>> fragment;
        for (;;) {
            FFKeyPair keys;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_changed.wait(lock, [this] { return m_stop || !m_queue.empty(); });
                if (m_stop) break;
                keys = m_queue.front();
                m_queue.pop_front();
            }
            GLuint& vs = vertex[keys.v];
            if (!vs) CompileShaderObject(vs, FFVertexSource(keys.v), true);
            GLuint& fs = fragment[keys.p];
            if (!fs) CompileShaderObject(fs, FFFragmentSource(keys.p), false);
            const GLuint program = vs && fs ? LinkShaders(vs, fs) : 0;
            // Finished here before the device's context uses it.
            gl.glFinish();
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_done.push_back({keys, program});
                m_doneCount.store(m_done.size(), std::memory_order_release);
                --m_pending;
            }
            m_changed.notify_all();
        }
        for (auto& s : vertex)
            if (s.second) gl.glDeleteShader(s.second);
        for (auto& s : fragment)
            if (s.second) gl.glDeleteShader(s.second);
        gl.glFinish();
        SDL_GL_MakeCurrent(m_window, nullptr);
    }

    SDL_Window* m_window = nullptr;
    void* m_context = nullptr;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_started = false, m_running = false, m_stop = false;
    std::deque<FFKeyPair> m_queue;
    std::vector<Done> m_done;
    std::atomic<size_t> m_doneCount{0};
    size_t m_pending = 0;
};

FFCache::FFCache(GLStateCache& state) : m_state(state) {}

FFCache::~FFCache()
{
    m_compiler.reset();
    for (auto& p : m_programs) {
        if (p.second) {
            m_state.ForgetProgram(p.second->program);
            gl.glDeleteProgram(p.second->program);
        }
        delete p.second;
    }
    for (auto& p : m_specialised) {
        if (p.second) {
            m_state.ForgetProgram(p.second->program);
            gl.glDeleteProgram(p.second->program);
        }
        delete p.second;
    }
    if (m_uber) {
        m_state.ForgetProgram(m_uber->program);
        gl.glDeleteProgram(m_uber->program);
        delete m_uber;
    }
    for (GLuint s : m_uberShaders)
        if (s) gl.glDeleteShader(s);
    for (auto& s : m_vertex)
        if (s.second) gl.glDeleteShader(s.second);
    for (auto& s : m_fragment)
        if (s.second) gl.glDeleteShader(s.second);
}

Program* FFCache::Uber(int palette)
{
    if (m_uberTried) return m_uber;
    m_uberTried = true;
    ++m_state.counters.shaderCompiles;
    ++m_state.counters.programLinks;
    if (!CompileShaderObject(m_uberShaders[0], FFUberVertexSource(palette), true)) return nullptr;
    if (!CompileShaderObject(m_uberShaders[1], FFUberFragmentSource(), false)) return nullptr;
    const GLuint p = LinkShaders(m_uberShaders[0], m_uberShaders[1]);
    if (p) m_uber = MakeProgram(m_state, p);
    return m_uber;
}

bool FFCache::StartCompiler(SDL_Window* window, void* context)
{
    m_compiler.reset(new FFCompiler(window, context));
    if (!m_compiler->Available()) m_compiler.reset();
    return m_compiler != nullptr;
}

bool FFCache::NewPrograms() const { return m_compiler && m_compiler->HasDone(); }

void FFCache::TakeCompiled()
{
    for (const FFCompiler::Done& d : m_compiler->Take()) {
        auto it = m_specialised.find(d.keys);
        if (it == m_specialised.end() || !d.program) continue;
        it->second = MakeProgram(m_state, d.program);
    }
}

Program* FFCache::Specialised(const FFKeyPair& keys)
{
    if (!m_compiler) return nullptr;
    if (m_compiler->HasDone()) TakeCompiled();
    auto it = m_specialised.find(keys);
    if (it != m_specialised.end()) return it->second;
    m_specialised.emplace(keys, nullptr);
    m_compiler->Ask(keys);
    return nullptr;
}

void FFCache::WaitForCompiler()
{
    if (!m_compiler) return;
    m_compiler->WaitIdle();
    TakeCompiled();
}

} // namespace d3d9gl
