// Fixed-function programs without a compile inside a frame: the program
// that takes the key as data, and specialised programs compiled on a second
// GL context, in a worker thread, and taken once linked.
#include "d3d9_ffp.h"
#include "d3d9_impl.h"
#include "d3d9_pipelines.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <unordered_set>
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

// Samplers are fixed: s<n> reads texture unit n.
void SetSamplerUnits(GLuint program)
{
    gl.glUseProgram(program);
    for (int i = 0; i < 8; ++i) {
        const GLint l = gl.glGetUniformLocation(program, ("s" + std::to_string(i)).c_str());
        if (l >= 0) gl.glUniform1i(l, i);
    }
}

// First draws of recorded pipeline states on the device's context, into
// targets and with textures of the recorded formats, so that a driver that
// generates code per state combination and context at its first draw
// (llvmpipe) does so then. The triangle has three equal vertices: nothing is
// drawn. It keeps GL state of its own: the device's cache is stale after it.
class WarmDraws {
public:
    void Draw(const PipelineState& s, GLuint program)
    {
        if (!m_vao) {
            gl.glGenVertexArrays(1, &m_vao);
            gl.glGenBuffers(1, &m_buffer);
            gl.glBindBuffer(GL_ARRAY_BUFFER, m_buffer);
            std::vector<uint8_t> zeros(4096, 0);
            gl.glBufferData(GL_ARRAY_BUFFER, (GLsizeiptr)zeros.size(), zeros.data(), GL_STATIC_DRAW);
            gl.glGenSamplers(8, m_samplers);
            m_state.Invalidate();
        }
        gl.glBindVertexArray(m_vao);
        m_state.BindFramebuffer(GL_FRAMEBUFFER, TargetFor(s.target, s.depth));
        m_state.Viewport(0, 0, 1, 1);
        m_state.UseProgram(program);
        if (!m_settled) {
            SettleVertexArray(m_state, m_buffer);
            m_settled = true;
        }
        m_state.ColorMask(s.colorMask & 1, s.colorMask & 2, s.colorMask & 4, s.colorMask & 8);
        m_state.Enable(GLStateCache::CapBlend, s.blend != 0);
        if (s.blend) {
            m_state.BlendFunc(s.blendFunc[0], s.blendFunc[1], s.blendFunc[2], s.blendFunc[3]);
            m_state.BlendEquation(s.blendOp[0], s.blendOp[1]);
        }
        m_state.Enable(GLStateCache::CapDepthTest, s.depthTest != 0);
        m_state.DepthMask(s.depthMask != 0);
        if (s.depthTest) m_state.DepthFunc(s.depthFunc);
        m_state.Enable(GLStateCache::CapStencilTest, s.stencilTest != 0);
        if (s.stencilTest)
            for (int f = 0; f < 2; ++f) {
                const GLenum face = f ? GL_BACK : GL_FRONT;
                m_state.StencilFunc(face, s.stencil[f][0], 0, 0xFF);
                m_state.StencilOp(face, s.stencil[f][1], s.stencil[f][2], s.stencil[f][3]);
            }
        m_state.Enable(GLStateCache::CapCullFace, s.cull != 0);
        if (s.cull) m_state.CullFace(s.cullFace);
        if (s.polygonMode) m_state.PolygonMode(s.polygonMode);
        m_state.Enable(GLStateCache::CapDepthClamp, s.depthClamp != 0);
        for (int i = 0; i < 8; ++i) {
            const PipelineState::Stage& st = s.stage[i];
            if (!st.format) continue;
            m_state.BindTexture((GLuint)i, Texture(st, (GLuint)i));
            gl.glSamplerParameteri(m_samplers[i], GL_TEXTURE_MIN_FILTER, st.minFilter);
            gl.glSamplerParameteri(m_samplers[i], GL_TEXTURE_MAG_FILTER, st.magFilter);
            gl.glSamplerParameteri(m_samplers[i], GL_TEXTURE_WRAP_S, st.wrapS);
            gl.glSamplerParameteri(m_samplers[i], GL_TEXTURE_WRAP_T, st.wrapT);
            m_state.BindSampler((GLuint)i, m_samplers[i]);
        }
        m_state.BindArrayBuffer(m_buffer);
        uint32_t enabled = 0;
        for (uint32_t i = 0; i < s.attribCount && i < 16; ++i) {
            const PipelineState::Attrib& a = s.attrib[i];
            gl.glVertexAttribPointer(a.location, a.size == 255 ? (GLint)GL_BGRA : a.size, a.type, a.normalized, (GLsizei)std::min<uint32_t>(a.stride, 256),
                                     reinterpret_cast<const void*>((uintptr_t)std::min<uint32_t>(a.offset, 256)));
            enabled |= 1u << a.location;
        }
        m_state.EnableAttribArrays(enabled);
        gl.glDrawArrays(s.points ? GL_POINTS : GL_TRIANGLES, 0, 3);
    }

    void Release()
    {
        for (auto& t : m_textures) gl.glDeleteTextures(1, &t.second);
        for (auto& f : m_targets) {
            gl.glDeleteFramebuffers(1, &f.second.fbo);
            gl.glDeleteTextures(1, &f.second.color);
            gl.glDeleteRenderbuffers(1, &f.second.depth);
        }
        if (m_vao) {
            gl.glDeleteSamplers(8, m_samplers);
            gl.glDeleteBuffers(1, &m_buffer);
            gl.glDeleteVertexArrays(1, &m_vao);
        }
        m_textures.clear();
        m_targets.clear();
        m_vao = 0;
        m_settled = false;
    }

private:
    struct Target {
        GLuint fbo, color, depth;
    };

    // A target of the formats; the window's framebuffer for target 0.
    GLuint TargetFor(uint32_t color, uint32_t depth)
    {
        if (!color) return 0;
        auto it = m_targets.find({color, depth});
        if (it != m_targets.end()) return it->second.fbo;
        Target t = {0, 0, 0};
        const FormatDesc* cf = FindFormat((D3DFORMAT)color);
        const FormatDesc* df = depth ? FindFormat((D3DFORMAT)depth) : nullptr;
        gl.glGenFramebuffers(1, &t.fbo);
        m_state.BindFramebuffer(GL_FRAMEBUFFER, t.fbo);
        if (cf) {
            gl.glGenTextures(1, &t.color);
            m_state.BindTexture(0, t.color);
            gl.glTexImage2D(GL_TEXTURE_2D, 0, (GLint)cf->internalFormat, 4, 4, 0, cf->block ? GL_BGRA : cf->glFormat,
                            cf->block ? GL_UNSIGNED_BYTE : cf->glType, nullptr);
            gl.glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, t.color, 0);
        }
        if (df) {
            gl.glGenRenderbuffers(1, &t.depth);
            gl.glBindRenderbuffer(GL_RENDERBUFFER, t.depth);
            gl.glRenderbufferStorage(GL_RENDERBUFFER, df->internalFormat, 4, 4);
            gl.glFramebufferRenderbuffer(GL_FRAMEBUFFER, df->hasStencil ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT,
                                         GL_RENDERBUFFER, t.depth);
        }
        m_targets[{color, depth}] = t;
        return t.fbo;
    }

    // Made on the unit it is for, so that the stages bound before it keep theirs.
    GLuint Texture(const PipelineState::Stage& st, GLuint unit)
    {
        const uint64_t key = (uint64_t)st.format << 16 | (uint64_t)st.pot << 8 | st.mips;
        auto it = m_textures.find(key);
        if (it != m_textures.end()) return it->second;
        GLuint t = 0;
        const FormatDesc* f = FindFormat((D3DFORMAT)st.format);
        gl.glGenTextures(1, &t);
        m_state.BindTexture(unit, t);
        if (f) {
            // Power-of-two sizes or not, one level or two, as the texture drawn with.
            const GLsizei size = st.pot ? 4 : 6;
            for (GLint level = 0; level < (st.mips ? 2 : 1); ++level)
                gl.glTexImage2D(GL_TEXTURE_2D, level, (GLint)f->internalFormat, size >> level, size >> level, 0,
                                f->block ? GL_BGRA : f->glFormat, f->block ? GL_UNSIGNED_BYTE : f->glType, nullptr);
            gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, st.mips ? 1 : 0);
            gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_R, f->swizzle[0]);
            gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_G, f->swizzle[1]);
            gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_B, f->swizzle[2]);
            gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_A, f->swizzle[3]);
        }
        m_textures[key] = t;
        return t;
    }

    GLStateCache m_state;
    GLuint m_vao = 0, m_buffer = 0;
    bool m_settled = false;
    GLuint m_samplers[8] = {};
    std::map<uint64_t, GLuint> m_textures;
    std::map<std::pair<uint32_t, uint32_t>, Target> m_targets;
};

// The worker: compiles and links the pairs asked of it, in order, on its
// own context, and hands back GL program names.
class FFCompiler {
public:
    struct Done {
        FFKeyPair keys;
        GLuint program;  // 0 when it did not build
    };
    // A pair to build (the state's other fields are not read).
    struct Job {
        PipelineState state;
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
        Job job;
        std::memset(&job.state, 0, sizeof(job.state));
        job.state.vertex = keys.v;
        job.state.pixel = keys.p;
        Ask(job);
    }

    void Ask(const Job& job)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_queue.push_back(job);
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

    // Takes back the jobs of a pair not yet begun; false when it is being
    // built or done.
    bool Withdraw(const FFKeyPair& keys)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_finished.count(keys) || m_building == keys) return false;
        size_t before = m_queue.size();
        m_queue.erase(std::remove_if(m_queue.begin(), m_queue.end(),
                                     [&](const Job& j) { return FFKeyPair{j.state.vertex, j.state.pixel} == keys; }),
                      m_queue.end());
        m_pending -= before - m_queue.size();
        return before != m_queue.size();
    }

    // Waits until the pair has been built (or failed).
    void WaitFor(const FFKeyPair& keys)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [&] { return m_finished.count(keys) != 0 || m_stop; });
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
        std::unordered_map<FFKeyPair, GLuint, KeyHash<FFKeyPair>> programs;
        for (;;) {
            Job job;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_changed.wait(lock, [this] { return m_stop || !m_queue.empty(); });
                if (m_stop) break;
                job = m_queue.front();
                m_queue.pop_front();
                m_building = {job.state.vertex, job.state.pixel};
            }
            const FFKeyPair keys = {job.state.vertex, job.state.pixel};
            auto known = programs.find(keys);
            GLuint program = known != programs.end() ? known->second : 0;
            const bool fresh = known == programs.end();
            if (fresh) {
                GLuint& vs = vertex[keys.v];
                if (!vs) CompileShaderObject(vs, FFVertexSource(keys.v), true);
                GLuint& fs = fragment[keys.p];
                if (!fs) CompileShaderObject(fs, FFFragmentSource(keys.p), false);
                program = vs && fs ? LinkShaders(vs, fs) : 0;
                programs[keys] = program;
                if (program) SetSamplerUnits(program);
            }
            // Finished here before the device's context uses it.
            gl.glFinish();
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                if (fresh) {
                    m_finished.insert(keys);
                    m_done.push_back({keys, program});
                    m_doneCount.store(m_done.size(), std::memory_order_release);
                }
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
    std::deque<Job> m_queue;
    std::unordered_set<FFKeyPair, KeyHash<FFKeyPair>> m_finished;
    FFKeyPair m_building{};  // the pair of the job begun last
    WarmDraws m_warm;
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
        m_asked.erase(d.keys);
        auto it = m_specialised.find(d.keys);
        if (it == m_specialised.end() || !d.program) continue;
        it->second = MakeProgram(m_state, d.program);
    }
}

size_t FFCache::Prepare(const std::vector<PipelineState>& states)
{
    if (!m_compiler) return 0;
    m_warmStates.insert(m_warmStates.end(), states.begin(), states.end());
    for (const PipelineState& s : states) {
        const FFKeyPair keys = {s.vertex, s.pixel};
        if (m_specialised.emplace(keys, nullptr).second) m_asked.insert(keys);
        m_compiler->Ask(FFCompiler::Job{s});
    }
    return states.size();
}

void FFCache::PrepareDraw(const PipelineState& state, GLuint program) { m_warmPrograms.emplace_back(state, program); }

bool FFCache::WarmUp()
{
    if (m_warmStates.empty() && m_warmPrograms.empty()) return false;
    WarmDraws warm;
    if (!m_warmStates.empty() && m_compiler) {
        m_compiler->WaitIdle();
        TakeCompiled();
        for (const PipelineState& s : m_warmStates) {
            auto it = m_specialised.find({s.vertex, s.pixel});
            if (it != m_specialised.end() && it->second) {
                warm.Draw(s, it->second->program);
                ++m_state.counters.warmDraws;
            }
        }
    }
    for (const auto& d : m_warmPrograms)
        warm.Draw(d.first, d.second);
    m_state.counters.warmDraws += m_warmPrograms.size();
    warm.Release();
    m_warmStates.clear();
    m_warmPrograms.clear();
    return true;
}

Program* FFCache::Ready(const FFKeyPair& keys)
{
    if (!m_compiler) return nullptr;
    auto it = m_specialised.find(keys);
    if (it == m_specialised.end()) return nullptr;
    if (!it->second && m_asked.count(keys)) {
        if (m_compiler->Withdraw(keys)) {
            // Not begun: built here, now, as a pair never asked.
            m_asked.erase(keys);
            m_specialised.erase(it);
            return nullptr;
        }
        // Being built: waited for rather than built twice.
        m_compiler->WaitFor(keys);
        TakeCompiled();
    }
    return it->second;
}

Program* FFCache::Specialised(const FFKeyPair& keys)
{
    if (!m_compiler) return nullptr;
    if (m_compiler->HasDone()) TakeCompiled();
    auto it = m_specialised.find(keys);
    if (it != m_specialised.end()) return it->second;
    m_specialised.emplace(keys, nullptr);
    m_asked.insert(keys);
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
