#include "escenor.h"

#include <cassert>

#include "debuglog.h"
#include "escenor_testing.h"
#include "music.h"
#include "packfile.h"
#include "timer.h"

namespace {
// m_startTime before the clock is started.
const float kStartTimeUnset = 16711935.0f;

ShowBuilder g_showBuilder = nullptr;

// After every entry of lower or equal layer.
void InsertByLayer(std::list<ScheduleItem*>& active, ScheduleItem* item)
{
    auto it = active.begin();
    while (it != active.end() && !((*it)->m_layer > item->m_layer))
        ++it;
    active.insert(it, item);
}

void ReleaseItem(ScheduleItem* item)
{
    item->m_pEffect->Release();
    delete item;
}
}

void SetShowBuilderForTesting(ShowBuilder builder)
{
    g_showBuilder = builder;
}

Escenor::Escenor(const char* scriptFile)
    : m_pLoadingEffect(nullptr), m_startTime(kStartTimeUnset), m_pText1(nullptr), m_pText2(nullptr),
      m_pMusicData(nullptr)
{
    LoadScript(scriptFile);
    MusicInit(1);
    // The text slots serve the show builder only; the entries hold them now.
    m_pText1 = nullptr;
    m_pText2 = nullptr;
}

Escenor::~Escenor()
{
    MusicStop();
    delete[] m_pMusicData;
    m_pMusicData = nullptr;
    delete m_pText1;
    m_pText1 = nullptr;
    delete m_pText2;
    m_pText2 = nullptr;
    for (ScheduleItem* item : m_activeItems)
        ReleaseItem(item);
    m_activeItems.clear();
    for (ScheduleItem* item : m_pendingItems)
        ReleaseItem(item);
    m_pendingItems.clear();
    // A loading effect is released by Init; without Init it is still ours.
    if (m_pLoadingEffect) {
        m_pLoadingEffect->Release();
        m_pLoadingEffect = nullptr;
    }
}

int Escenor::LoadScript(const char*)
{
    if (g_showBuilder)
        g_showBuilder(this);
    else
        BuildShow();
    return 0;
}

void Escenor::AddEffect(Effect* effect, float start, float end, float layer)
{
    assert(effect != NULL);
    if (!effect)
        return;
    ScheduleItem* item = new ScheduleItem{effect, start, end, layer};
    effect->AddRef();
    auto it = m_pendingItems.begin();
    while (it != m_pendingItems.end() && !((*it)->m_start > start))
        ++it;
    m_pendingItems.insert(it, item);
}

void Escenor::SetLoadingEffect(Effect* effect, float, float)
{
    m_pLoadingEffect = effect;
}

void Escenor::Init()
{
    const int count = (int)m_pendingItems.size();
    Effect* loading = m_pLoadingEffect;
    if (loading) {
        loading->DoInit();
        loading->DoStart();
        loading->DoRender(0.0f);
    }

    int i = 0;
    for (ScheduleItem* item : m_pendingItems) {
        i++;
        DebugLog("Inicializando efecto: \"%s\"\n", item->m_pEffect->m_name);
        item->m_pEffect->DoInit();
        float progress = (float)i / (float)count;
        g_sequenceTime = progress;
        if (loading)
            loading->DoRender(progress);
        DebugLog("hecho");
    }

    if (loading) {
        loading->DoRender(1.0f);
        m_pLoadingEffect = nullptr;
        loading->Release();
    }

    PackFile reader(nullptr);
    int size = 0;
    unsigned char* module = reader.LoadFile("./data/music/brunkunch.it", &size);
    if (module) {
        delete[] m_pMusicData;
        m_pMusicData = module;
        MusicPlayModule(m_pMusicData, size);
    }

    if (m_startTime == kStartTimeUnset)
        m_startTime = Timer(TimerCommand::AppTime);
}

bool Escenor::RenderFrame()
{
    const float now = Timer(TimerCommand::AppTime) - m_startTime;
    g_sequenceTime = now;

    if (m_pendingItems.empty() && m_activeItems.empty())
        return false;

    while (!m_pendingItems.empty() && m_pendingItems.front()->m_start < now) {
        ScheduleItem* item = m_pendingItems.front();
        item->m_pEffect->DoStart();
        InsertByLayer(m_activeItems, item);
        m_pendingItems.pop_front();
    }

    auto it = m_activeItems.begin();
    while (it != m_activeItems.end()) {
        ScheduleItem* item = *it;
        if (item->m_end != 0.0f && item->m_end < now) {
            m_activeItems.erase(it);
            ReleaseItem(item);
            // Start over: the entries before it are drawn again.
            it = m_activeItems.begin();
            continue;
        }
        float span = item->m_end - item->m_start;
        float tiempoNormalizado;
        if (span == 0.0f) {
            tiempoNormalizado = now - item->m_start;
        } else {
            tiempoNormalizado = (now - item->m_start) / span;
            assert((tiempoNormalizado >= 0.0f) && (tiempoNormalizado <= 1.0f));
        }
        item->m_pEffect->DoRender(tiempoNormalizado);
        ++it;
    }
    return true;
}

void Escenor::Seek(float time)
{
    auto it = m_activeItems.begin();
    while (it != m_activeItems.end()) {
        ScheduleItem* item = *it;
        if (item->m_end != 0.0f && item->m_end < time) {
            m_activeItems.erase(it);
            ReleaseItem(item);
            it = m_activeItems.begin();
            continue;
        }
        ++it;
    }
    while (!m_pendingItems.empty() && m_pendingItems.front()->m_start < time) {
        InsertByLayer(m_activeItems, m_pendingItems.front());
        m_pendingItems.pop_front();
    }
    m_startTime = Timer(TimerCommand::AppTime) - time;
}
