// The standard .x templates, template sets, GUID text and the member reader.
#include "xfile_tree.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace {

constexpr GUID guid(uint32_t a, uint16_t b, uint16_t c, uint8_t d0, uint8_t d1, uint8_t d2, uint8_t d3, uint8_t d4,
                    uint8_t d5, uint8_t d6, uint8_t d7)
{
    return GUID{a, b, c, {d0, d1, d2, d3, d4, d5, d6, d7}};
}

} // namespace

const GUID TID_D3DRMHeader = guid(0x3D82AB43, 0x62DA, 0x11CF, 0xAB, 0x39, 0x00, 0x20, 0xAF, 0x71, 0xE4, 0x33);
const GUID TID_D3DRMVector = guid(0x3D82AB5E, 0x62DA, 0x11CF, 0xAB, 0x39, 0x00, 0x20, 0xAF, 0x71, 0xE4, 0x33);
const GUID TID_D3DRMCoords2d = guid(0xF6F23F44, 0x7686, 0x11CF, 0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3);
const GUID TID_D3DRMMatrix4x4 = guid(0xF6F23F45, 0x7686, 0x11CF, 0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3);
const GUID TID_D3DRMColorRGBA = guid(0x35FF44E0, 0x6C7C, 0x11CF, 0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3);
const GUID TID_D3DRMColorRGB = guid(0xD3E16E81, 0x7835, 0x11CF, 0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3);
const GUID TID_D3DRMIndexedColor = guid(0x1630B820, 0x7842, 0x11CF, 0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3);
const GUID TID_D3DRMBoolean = guid(0x4885AE61, 0x78E8, 0x11CF, 0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3);
const GUID TID_D3DRMBoolean2d = guid(0x4885AE63, 0x78E8, 0x11CF, 0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3);
const GUID TID_D3DRMMaterialWrap = guid(0x4885AE60, 0x78E8, 0x11CF, 0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3);
const GUID TID_D3DRMTextureFilename =
    guid(0xA42790E1, 0x7810, 0x11CF, 0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3);
const GUID TID_D3DRMMaterial = guid(0x3D82AB4D, 0x62DA, 0x11CF, 0xAB, 0x39, 0x00, 0x20, 0xAF, 0x71, 0xE4, 0x33);
const GUID TID_D3DRMMeshFace = guid(0x3D82AB5F, 0x62DA, 0x11CF, 0xAB, 0x39, 0x00, 0x20, 0xAF, 0x71, 0xE4, 0x33);
const GUID TID_D3DRMMeshFaceWraps = guid(0x4885AE62, 0x78E8, 0x11CF, 0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3);
const GUID TID_D3DRMMeshTextureCoords =
    guid(0xF6F23F40, 0x7686, 0x11CF, 0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3);
const GUID TID_D3DRMMeshMaterialList =
    guid(0xF6F23F42, 0x7686, 0x11CF, 0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3);
const GUID TID_D3DRMMeshNormals = guid(0xF6F23F43, 0x7686, 0x11CF, 0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3);
const GUID TID_D3DRMMeshVertexColors =
    guid(0x1630B821, 0x7842, 0x11CF, 0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3);
const GUID TID_D3DRMMesh = guid(0x3D82AB44, 0x62DA, 0x11CF, 0xAB, 0x39, 0x00, 0x20, 0xAF, 0x71, 0xE4, 0x33);
const GUID TID_D3DRMFrameTransformMatrix =
    guid(0xF6F23F41, 0x7686, 0x11CF, 0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3);
const GUID TID_D3DRMFrame = guid(0x3D82AB46, 0x62DA, 0x11CF, 0xAB, 0x39, 0x00, 0x20, 0xAF, 0x71, 0xE4, 0x33);
const GUID TID_D3DRMFloatKeys = guid(0x10DD46A9, 0x775B, 0x11CF, 0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3);
const GUID TID_D3DRMTimedFloatKeys = guid(0xF406B180, 0x7B3B, 0x11CF, 0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3);
const GUID TID_D3DRMAnimationKey = guid(0x10DD46A8, 0x775B, 0x11CF, 0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3);
const GUID TID_D3DRMAnimationOptions =
    guid(0xE2BF56C0, 0x840F, 0x11CF, 0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3);
const GUID TID_D3DRMAnimation = guid(0x3D82AB4F, 0x62DA, 0x11CF, 0xAB, 0x39, 0x00, 0x20, 0xAF, 0x71, 0xE4, 0x33);
const GUID TID_D3DRMAnimationSet = guid(0x3D82AB50, 0x62DA, 0x11CF, 0xAB, 0x39, 0x00, 0x20, 0xAF, 0x71, 0xE4, 0x33);
const GUID DXFILEOBJ_XSkinMeshHeader =
    guid(0x3CF169CE, 0xFF7C, 0x44AB, 0x93, 0xC0, 0xF7, 0x8F, 0x62, 0xD1, 0x72, 0xE2);
const GUID DXFILEOBJ_VertexDuplicationIndices =
    guid(0xB8D65549, 0xD7C9, 0x4995, 0x89, 0xCF, 0x53, 0xA9, 0xA8, 0xB0, 0x31, 0xE3);
const GUID DXFILEOBJ_SkinWeights = guid(0x6F0D123B, 0xBAD2, 0x4167, 0xA0, 0xD0, 0x80, 0x22, 0x4F, 0x25, 0xFA, 0xBB);
const GUID DXFILEOBJ_AnimTicksPerSecond =
    guid(0x9E415A43, 0x7BA6, 0x4A73, 0x87, 0x43, 0xB7, 0x3D, 0x47, 0xE8, 0x84, 0x76);
const GUID DXFILEOBJ_FVFData = guid(0xB6E70A0E, 0x8EF9, 0x4E83, 0x94, 0xAD, 0xEC, 0xC8, 0xB0, 0xC0, 0x48, 0x97);
const GUID DXFILEOBJ_VertexElement = guid(0xF752461C, 0x1E23, 0x48F6, 0xB9, 0xF8, 0x83, 0x50, 0x85, 0x0F, 0x33, 0x6F);
const GUID DXFILEOBJ_DeclData = guid(0xBF22E553, 0x292C, 0x4781, 0x9F, 0xEA, 0x62, 0xBD, 0x55, 0x4B, 0xDD, 0xA9);

// The standard templates in the text encoding.
const char D3DRM_XTEMPLATES[] = R"(xof 0303txt 0032
template Header { <3D82AB43-62DA-11CF-AB39-0020AF71E433> WORD major; WORD minor; DWORD flags; }
template Vector { <3D82AB5E-62DA-11CF-AB39-0020AF71E433> FLOAT x; FLOAT y; FLOAT z; }
template Coords2d { <F6F23F44-7686-11CF-8F52-0040333594A3> FLOAT u; FLOAT v; }
template Matrix4x4 { <F6F23F45-7686-11CF-8F52-0040333594A3> array FLOAT matrix[16]; }
template ColorRGBA { <35FF44E0-6C7C-11CF-8F52-0040333594A3> FLOAT red; FLOAT green; FLOAT blue; FLOAT alpha; }
template ColorRGB { <D3E16E81-7835-11CF-8F52-0040333594A3> FLOAT red; FLOAT green; FLOAT blue; }
template IndexedColor { <1630B820-7842-11CF-8F52-0040333594A3> DWORD index; ColorRGBA indexColor; }
template Boolean { <4885AE61-78E8-11CF-8F52-0040333594A3> DWORD truefalse; }
template Boolean2d { <4885AE63-78E8-11CF-8F52-0040333594A3> Boolean u; Boolean v; }
template MaterialWrap { <4885AE60-78E8-11CF-8F52-0040333594A3> Boolean u; Boolean v; }
template TextureFilename { <A42790E1-7810-11CF-8F52-0040333594A3> STRING filename; }
template Material {
  <3D82AB4D-62DA-11CF-AB39-0020AF71E433>
  ColorRGBA faceColor; FLOAT power; ColorRGB specularColor; ColorRGB emissiveColor; [...]
}
template MeshFace {
  <3D82AB5F-62DA-11CF-AB39-0020AF71E433>
  DWORD nFaceVertexIndices; array DWORD faceVertexIndices[nFaceVertexIndices];
}
template MeshFaceWraps {
  <4885AE62-78E8-11CF-8F52-0040333594A3>
  DWORD nFaceWrapValues; array Boolean2d faceWrapValues[nFaceWrapValues];
}
template MeshTextureCoords {
  <F6F23F40-7686-11CF-8F52-0040333594A3>
  DWORD nTextureCoords; array Coords2d textureCoords[nTextureCoords];
}
template MeshMaterialList {
  <F6F23F42-7686-11CF-8F52-0040333594A3>
  DWORD nMaterials; DWORD nFaceIndexes; array DWORD faceIndexes[nFaceIndexes];
  [Material <3D82AB4D-62DA-11CF-AB39-0020AF71E433>]
}
template MeshNormals {
  <F6F23F43-7686-11CF-8F52-0040333594A3>
  DWORD nNormals; array Vector normals[nNormals]; DWORD nFaceNormals; array MeshFace faceNormals[nFaceNormals];
}
template MeshVertexColors {
  <1630B821-7842-11CF-8F52-0040333594A3>
  DWORD nVertexColors; array IndexedColor vertexColors[nVertexColors];
}
template Mesh {
  <3D82AB44-62DA-11CF-AB39-0020AF71E433>
  DWORD nVertices; array Vector vertices[nVertices]; DWORD nFaces; array MeshFace faces[nFaces]; [...]
}
template FrameTransformMatrix { <F6F23F41-7686-11CF-8F52-0040333594A3> Matrix4x4 frameMatrix; }
template Frame { <3D82AB46-62DA-11CF-AB39-0020AF71E433> [...] }
template FloatKeys { <10DD46A9-775B-11CF-8F52-0040333594A3> DWORD nValues; array FLOAT values[nValues]; }
template TimedFloatKeys { <F406B180-7B3B-11CF-8F52-0040333594A3> DWORD time; FloatKeys tfkeys; }
template AnimationKey {
  <10DD46A8-775B-11CF-8F52-0040333594A3>
  DWORD keyType; DWORD nKeys; array TimedFloatKeys keys[nKeys];
}
template AnimationOptions { <E2BF56C0-840F-11CF-8F52-0040333594A3> DWORD openclosed; DWORD positionquality; }
template Animation { <3D82AB4F-62DA-11CF-AB39-0020AF71E433> [...] }
template AnimationSet { <3D82AB50-62DA-11CF-AB39-0020AF71E433> [Animation <3D82AB4F-62DA-11CF-AB39-0020AF71E433>] }
template AnimTicksPerSecond { <9E415A43-7BA6-4A73-8743-B73D47E88476> DWORD AnimTicksPerSecond; }
template XSkinMeshHeader {
  <3CF169CE-FF7C-44AB-93C0-F78F62D172E2>
  WORD nMaxSkinWeightsPerVertex; WORD nMaxSkinWeightsPerFace; WORD nBones;
}
template VertexDuplicationIndices {
  <B8D65549-D7C9-4995-89CF-53A9A8B031E3>
  DWORD nIndices; DWORD nOriginalVertices; array DWORD indices[nIndices];
}
template SkinWeights {
  <6F0D123B-BAD2-4167-A0D0-80224F25FABB>
  STRING transformNodeName; DWORD nWeights; array DWORD vertexIndices[nWeights]; array FLOAT weights[nWeights];
  Matrix4x4 matrixOffset;
}
template FVFData { <B6E70A0E-8EF9-4E83-94AD-ECC8B0C04897> DWORD dwFVF; DWORD nDWords; array DWORD data[nDWords]; }
template VertexElement {
  <F752461C-1E23-48F6-B9F8-8350850F336F>
  DWORD Type; DWORD Method; DWORD Usage; DWORD UsageIndex;
}
template DeclData {
  <BF22E553-292C-4781-9FEA-62BD554BDDA9>
  DWORD nElements; array VertexElement Elements[nElements]; DWORD nDWords; array DWORD data[nDWords];
}
template EffectInstance { <E331F7E4-0559-4CC2-8E99-1CEC1657928F> STRING EffectFilename; [...] }
template EffectParamFloats {
  <3014B9A0-62F5-478C-9B86-E4AC9F4E418B>
  STRING ParamName; DWORD nFloats; array FLOAT Floats[nFloats];
}
template EffectParamString { <1DBC4C88-94C1-46EE-9076-2C28818C9481> STRING ParamName; STRING Value; }
template EffectParamDWord { <E13963BC-AE51-4C5D-B00F-CFA3A9D97CE5> STRING ParamName; DWORD Value; }
)";
const SIZE_T D3DRM_XTEMPLATE_BYTES = sizeof(D3DRM_XTEMPLATES) - 1;

const XFileTemplates& XFileTemplates::Standard()
{
    static const XFileTemplates standard = [] {
        XFileTemplates t;
        XFileParseTemplates(D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES, &t);
        return t;
    }();
    return standard;
}

const XFileTemplate* XFileTemplates::Find(const std::string& name) const
{
    for (const XFileTemplate& t : list_)
        if (t.name == name)
            return &t;
    return nullptr;
}

const XFileTemplate* XFileTemplates::Find(const GUID& id) const
{
    for (const XFileTemplate& t : list_)
        if (t.id == id)
            return &t;
    return nullptr;
}

void XFileTemplates::Add(const XFileTemplate& t)
{
    for (XFileTemplate& old : list_) {
        if (old.name == t.name) {
            old = t;
            return;
        }
    }
    list_.push_back(t);
}

void XFileTemplates::AddAll(const XFileTemplates& more)
{
    if (&more == this)
        return;
    for (const XFileTemplate& t : more.list_)
        Add(t);
}

std::string XFileGuidText(const GUID& g)
{
    char s[40];
    std::snprintf(s, sizeof(s), "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", (unsigned)g.Data1, g.Data2,
                  g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6],
                  g.Data4[7]);
    return s;
}

bool XFileParseGuid(const std::string& text, GUID* out)
{
    if (text.size() != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-')
        return false;
    uint8_t bytes[16];
    size_t k = 0;
    for (size_t i = 0; i < 36 && k < 16; ++i) {
        if (text[i] == '-')
            continue;
        if (i + 1 >= 36 || !std::isxdigit((unsigned char)text[i]) || !std::isxdigit((unsigned char)text[i + 1]))
            return false;
        bytes[k++] = (uint8_t)std::stoi(text.substr(i, 2), nullptr, 16);
        ++i;
    }
    if (k != 16)
        return false;
    out->Data1 = ((uint32_t)bytes[0] << 24) | ((uint32_t)bytes[1] << 16) | ((uint32_t)bytes[2] << 8) | bytes[3];
    out->Data2 = (uint16_t)((bytes[4] << 8) | bytes[5]);
    out->Data3 = (uint16_t)((bytes[6] << 8) | bytes[7]);
    std::memcpy(out->Data4, bytes + 8, 8);
    return true;
}

bool XFileGuidIsZero(const GUID& g)
{
    static const GUID zero{};
    return g == zero;
}

bool XFileReader::take(void* out, size_t n)
{
    if (!ok_ || o_.data.size() - pos_ < n) {
        ok_ = false;
        std::memset(out, 0, n);
        return false;
    }
    std::memcpy(out, o_.data.data() + pos_, n);
    pos_ += n;
    return true;
}

WORD XFileReader::Word()
{
    WORD v;
    take(&v, sizeof(v));
    return v;
}

DWORD XFileReader::Dword()
{
    DWORD v;
    take(&v, sizeof(v));
    return v;
}

float XFileReader::Float()
{
    float v;
    take(&v, sizeof(v));
    return v;
}

double XFileReader::Double()
{
    double v;
    take(&v, sizeof(v));
    return v;
}

BYTE XFileReader::Byte()
{
    BYTE v;
    take(&v, sizeof(v));
    return v;
}

const std::string& XFileReader::String()
{
    static const std::string empty;
    uint64_t index = 0;
    static_assert(sizeof(char*) == sizeof(uint64_t), "string slots hold a pointer");
    if (!take(&index, sizeof(index)) || index >= o_.strings.size()) {
        ok_ = false;
        return empty;
    }
    return o_.strings[index];
}

void XFileReader::Skip(size_t bytes)
{
    if (!ok_ || o_.data.size() - pos_ < bytes) {
        ok_ = false;
        return;
    }
    pos_ += bytes;
}
