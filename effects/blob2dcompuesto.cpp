#include "blob2dcompuesto.h"

#include <cmath>
#include <cstdint>
#include <new>

#include "utils.h"

namespace {
const float kFloatMin = -1e30f;
const float kFloatMax = 1e30f;
const int kMaxText = 65536;
const float kFieldScale = 70000000.0f;

// The grid's size in cells, 0 when either side is not positive.
long long GridCells(int columns, int rows)
{
    if (columns <= 0 || rows <= 0)
        return 0;
    return (long long)columns * (long long)rows;
}
} // namespace

CBlob2DCompuesto::CBlob2DCompuesto(int columns, int rows)
    : m_pEscena(nullptr), m_pCamara(nullptr), m_instancias(nullptr), m_columnas(0), m_filas(0), m_pCrowd(nullptr),
      m_numInstancias(0)
{
    SetName("CBlob2DCompuesto");
    m_params.push_back(new PublicParamString("ficheroObjeto", "", kMaxText));
    static const struct {
        const char* name;
        float value;
    } floats[] = {{"alpha", 1.0f},        {"posx", -2.0f},        {"posy", 1.5f},
                  {"separacionx", 0.01f}, {"separaciony", 0.01f}, {"factor", 0.0f}};
    for (const auto& p : floats)
        m_params.push_back(new PublicParamFloat(p.name, p.value, kFloatMin, kFloatMax));
    m_columnas = columns;
    m_filas = rows;
}

CBlob2DCompuesto::~CBlob2DCompuesto()
{
    if (m_initialised) {
        delete m_pEscena;
        if (m_instancias) {
            for (long long n = 0; n < m_numInstancias; ++n)
                delete m_instancias[n];
        }
        delete[] m_instancias;
        // The instances borrow the crowd's mesh: the crowd goes last.
        delete m_pCrowd;
        delete m_pCamara;
    }
}

int CBlob2DCompuesto::Init()
{
    const Placement at = ReadPlacement();
    m_pEscena = new Scene();
    m_pCrowd = new Crowd(false);
    m_pCrowd->Load(ParamOf<PublicParamString>(this, "ficheroObjeto")->GetValue());
    m_pEscena->Add(m_pCrowd);

    const long long cells = GridCells(m_columnas, m_filas);
    if (cells > 0 && (unsigned long long)cells <= SIZE_MAX / sizeof(CrowdMesh*))
        m_instancias = new (std::nothrow) CrowdMesh*[(size_t)cells];
    m_numInstancias = m_instancias ? cells : 0;
    long long n = 0;
    for (int i = 0; n < m_numInstancias && i < m_filas; ++i) {
        for (int j = 0; j < m_columnas; ++j) {
            CrowdMesh* cell = m_pCrowd->AddInstance();
            m_instancias[n++] = cell;
            cell->m_position.x = at.posx + j * at.separacionx;
            cell->m_position.y = at.posy - i * at.separaciony;
            cell->m_scale = 1.0f;
            cell->m_alpha = at.alpha;
            m_pEscena->Add(cell);
        }
    }

    m_pCamara = new Camera();
    return 0;
}

CBlob2DCompuesto::Placement CBlob2DCompuesto::ReadPlacement()
{
    auto value = [this](const char* name) { return ParamOf<PublicParamFloat>(this, name)->GetValue(); };
    Placement at;
    at.alpha = value("alpha");
    at.posx = value("posx");
    at.posy = value("posy");
    at.separacionx = value("separacionx");
    at.separaciony = value("separaciony");
    return at;
}

int CBlob2DCompuesto::Start()
{
    return 0;
}

float CBlob2DCompuesto::Campo(float dx, float dy)
{
    if (dx == 0.0f && dy == 0.0f)
        return 589805952.0f;
    const float squared = dx * dx + dy * dy;
    return 8999999488.0f / (squared * 500000.0f) * 32767.0f;
}

int CBlob2DCompuesto::Render(float)
{
    const Placement at = ReadPlacement();
    const float f = ParamOf<PublicParamFloat>(this, "factor")->GetValue();

    const float hx = m_columnas / 2.0f;
    const float hy = m_filas / 2.0f;
    const float x[6] = {
        7 * std::cos(f) - 4 * std::sin(f) + hx,         4 * std::cos(f) + 7 * std::sin(2 * f) + hx,
        5 * std::cos(f) - 5 * std::sin(3 * f) + hx,     8 * std::cos(f) + 2 * std::sin(2 * f) + hx,
        4 * std::cos(3 * f) + 2 * std::sin(f) + hx,     5 * std::cos(f) + 4 * std::sin(2 * f) + hx,
    };
    const float y[6] = {
        4 * std::cos(2 * f) + 7 * std::sin(f) + hy,     7 * std::cos(3 * f) + 4 * std::sin(f) + hy,
        5 * std::cos(2 * f) - 5 * std::sin(f) + hy,     2 * std::cos(f) + 8 * std::sin(2 * f) + hy,
        2 * std::cos(2 * f) - 4 * std::sin(f) + hy,     5 * std::cos(f) + 2 * std::sin(3 * f) + hy,
    };

    long long n = 0;
    for (int i = 0; n < m_numInstancias && i < m_filas; ++i) {
        for (int j = 0; j < m_columnas; ++j) {
            const float fj = (float)j, fi = (float)i;
            float s = Campo(x[0] - fj, y[0] - fi);
            for (int k = 1; k < 6; ++k)
                s = s + Campo(x[k] - fj, y[k] - fi);
            float v = s / kFieldScale;
            if (v > 1.0f)
                v = 1.0f;
            else if (v < 0.0f)
                v = 0.0f;
            CrowdMesh* cell = m_instancias[n++];
            cell->m_position.x = at.posx + j * at.separacionx;
            cell->m_position.y = at.posy - i * at.separaciony;
            cell->m_position.z = v;
            cell->m_scale = v;
            cell->m_alpha = at.alpha;
            cell->m_twoSided = true;
        }
    }

    ApplyDefaultStates();
    m_pEscena->Render(m_pCamara, m_delta);
    return 0;
}
