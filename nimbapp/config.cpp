#include "config.h"

#include "debuglog.h"

#include <tinyxml.h>

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

Config* g_pConfig = nullptr;

namespace {

const char kLoadError[] = "Could not load test file 'config.xml'. Error='%s'. Exiting.\n";

// The text of the key's element under root, or null when the key keeps its
// default (missing, not an element, empty).
const char* keyText(TiXmlNode* root, const char* key)
{
    TiXmlNode* node = root->FirstChild(key);
    if (!node)
        return nullptr;
    TiXmlElement* element = node->ToElement();
    if (!element)
        return nullptr;
    TiXmlNode* child = element->FirstChild();
    if (!child)
        return nullptr;
    return child->Value();
}

void readBool(TiXmlNode* root, const char* key, bool& field)
{
    if (const char* text = keyText(root, key))
        field = strcasecmp(text, "true") == 0;
}

void readInt(TiXmlNode* root, const char* key, int32_t& field)
{
    if (const char* text = keyText(root, key))
        field = ConfigParseInt(text);
}

void readTerrainResolution(TiXmlNode* root, int32_t& field)
{
    if (const char* text = keyText(root, "resolucionTerreno")) {
        int32_t v = ConfigParseInt(text);
        if (v == 32 || v == 64 || v == 128 || v == 256 || v == 512 || v == 1024)
            field = v;
    }
}

void readSmall(TiXmlNode* root, const char* key, int8_t& field)
{
    if (const char* text = keyText(root, key)) {
        int32_t v = ConfigParseInt(text);
        if (v < 128)
            field = (int8_t)(uint8_t)((uint32_t)v & 0xFF);
    }
}

// Copies the text, cut to fit the field with its terminator.
void readText(TiXmlNode* root, const char* key, char* field)
{
    if (const char* text = keyText(root, key)) {
        size_t n = std::strlen(text);
        if (n > Config::kTextSize - 1)
            n = Config::kTextSize - 1;
        std::memcpy(field, text, n);
        field[n] = '\0';
    }
}

// TinyXML reads whatever fopen opens; a folder or a device is no file.
bool isRegularFile(const char* file)
{
    struct stat st;
    return ::stat(file, &st) == 0 && S_ISREG(st.st_mode);
}

// Loads the document or ends the program with the load report.
void loadOrExit(TiXmlDocument& doc, const char* file)
{
    bool loaded = false;
    const char* error = "Failed to open file";
    if (isRegularFile(file)) {
        loaded = doc.LoadFile();
        if (!loaded)
            error = doc.ErrorDesc();
    }
    if (loaded)
        return;
    ReportError(kLoadError, error);
    std::exit(1);
}

}

int32_t ConfigParseInt(const char* text)
{
    if (!text)
        return 0;
    const char* p = text;
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\v' || *p == '\f' || *p == '\r')
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    int64_t v = 0;
    const int64_t limit = negative ? (int64_t)INT32_MAX + 1 : (int64_t)INT32_MAX;
    while (*p >= '0' && *p <= '9') {
        v = v * 10 + (*p - '0');
        if (v > limit)
            v = limit; // saturates; the remaining digits change nothing
        ++p;
    }
    return (int32_t)(negative ? -v : v);
}

Config::Config()
{
    m_modelosAltaResolucion = false;
    m_arboles = true;
    m_resolucionTerreno = 128;
    m_useBumpMap = true;
    m_useDetailTextures = true;
    m_skipValidation = false;
    m_canvasTransparentes = true;
    m_mipmapping = true;
    m_standalone = false;
    m_useDirectInput = false;
    m_resx = 640;
    m_resy = 480;
    m_windowed = true;
    m_showfps = false;
    m_modelo = 0;
    m_textura = 0;
    std::strcpy(m_ipservidor, "127.0.0.1");
    m_login[0] = '\0';
    m_password[0] = '\0';
    m_bgm = true;
    Load("config.xml");
}

Config::~Config()
{
}

void Config::Load(const char* file)
{
    TiXmlDocument doc(file);
    loadOrExit(doc, file);
    TiXmlNode* root = doc.FirstChild("main");
    if (!root) {
        // No settings: every default stays, and the user is told why.
        TiXmlElement* top = doc.RootElement();
        if (top)
            std::fprintf(stderr, "%s: the root element is \"%s\", not \"main\"; every setting keeps its default.\n",
                         file, top->Value());
        else
            std::fprintf(stderr, "%s: no \"main\" element; every setting keeps its default.\n", file);
        return;
    }
    readText(root, "ipservidor", m_ipservidor);
    readText(root, "login", m_login);
    readText(root, "password", m_password);
    readBool(root, "modelosAltaResolucion", m_modelosAltaResolucion);
    readBool(root, "arboles", m_arboles);
    readTerrainResolution(root, m_resolucionTerreno);
    readBool(root, "useBumpMap", m_useBumpMap);
    readBool(root, "useDetailTextures", m_useDetailTextures);
    readBool(root, "skipValidation", m_skipValidation);
    readBool(root, "canvasTransparentes", m_canvasTransparentes);
    readBool(root, "mipmapping", m_mipmapping);
    readBool(root, "standalone", m_standalone);
    readInt(root, "resx", m_resx);
    readInt(root, "resy", m_resy);
    readBool(root, "windowed", m_windowed);
    readBool(root, "showfps", m_showfps);
    readBool(root, "useDirectInput", m_useDirectInput);
    readSmall(root, "modelo", m_modelo);
    readSmall(root, "textura", m_textura);
    readBool(root, "bgm", m_bgm);
}

void Config::Rewrite(const char* file)
{
    TiXmlDocument doc(file);
    loadOrExit(doc, file);
    doc.SaveFile();
}
