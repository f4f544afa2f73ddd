// The application's globals for tests: a Config read from a config.xml
// written in the working folder, and the keyboard listener; a BMP writer.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "config.h"
#include "msglistener.h"
#include "scratch_folder.h"

// Creates g_pConfig from a config.xml in the working folder and the
// keyboard listener; deletes both when it goes.
class AppGlobals {
public:
    AppGlobals(bool showfps, bool mipmapping)
    {
        std::string xml = "<?xml version=\"1.0\" ?>\n<main>\n";
        xml += std::string("  <showfps>") + (showfps ? "true" : "false") + "</showfps>\n";
        xml += std::string("  <mipmapping>") + (mipmapping ? "true" : "false") + "</mipmapping>\n";
        xml += "</main>\n";
        ScratchFolder::Write("config.xml", xml);
        g_pConfig = new Config();
        g_pMsgListener = new MsgListener();
    }
    ~AppGlobals()
    {
        delete g_pMsgListener;
        g_pMsgListener = nullptr;
        delete g_pConfig;
        g_pConfig = nullptr;
    }
};

// A minimal BMP: 32 bits per pixel, top-down, alpha in the fourth byte.
inline std::string MakeBmp32(int w, int h, const std::vector<uint32_t>& argb)
{
    std::string out;
    auto put16 = [&](uint32_t v) { out.push_back((char)(v & 0xFF)); out.push_back((char)((v >> 8) & 0xFF)); };
    auto put32 = [&](uint32_t v) { put16(v & 0xFFFF); put16(v >> 16); };
    uint32_t dataSize = (uint32_t)(w * h * 4);
    out += "BM";
    put32(14 + 40 + dataSize);
    put32(0);
    put32(14 + 40);
    put32(40);
    put32((uint32_t)w);
    put32((uint32_t)-h);
    put16(1);
    put16(32);
    put32(0);  // BI_RGB
    put32(dataSize);
    put32(2835);
    put32(2835);
    put32(0);
    put32(0);
    for (uint32_t p : argb)
        put32(p);
    return out;
}
