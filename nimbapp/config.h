#pragma once

#include <cstdint>

// The settings read once from "config.xml"; every field keeps its default
// when the file does not give it.
class Config {
public:
    enum { kTextSize = 4096 };

    // Sets the defaults, then reads "config.xml"; a file that cannot be
    // loaded ends the program.
    Config();
    ~Config();

    void Load(const char* file);
    // Loads the named file and writes it back through the XML library.
    void Rewrite(const char* file);

    bool m_modelosAltaResolucion;
    bool m_arboles;
    int32_t m_resolucionTerreno;
    bool m_useBumpMap;
    bool m_useDetailTextures;
    bool m_skipValidation;
    bool m_canvasTransparentes;
    bool m_mipmapping;
    bool m_standalone;
    bool m_useDirectInput;
    int32_t m_resx;
    int32_t m_resy;
    bool m_windowed;
    bool m_showfps;
    int8_t m_modelo;
    int8_t m_textura;
    char m_ipservidor[kTextSize];
    char m_login[kTextSize];
    char m_password[kTextSize];
    bool m_bgm;
};

extern Config* g_pConfig;

// The integer at the start of a text as atoi reads it (white space, sign,
// decimal digits; 0 when there are none), saturated to the 32-bit range.
int32_t ConfigParseInt(const char* text);
