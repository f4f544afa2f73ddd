// .x files as plain structures: the templates known to a reader, and the tree
// of data objects a file holds. XFileParse is a pure function from bytes to an
// XFileTree; the D3DX objects (ID3DXFile, the mesh, skin and animation
// loaders) are built from the tree.
#pragma once

#include <d3d9.h>

#include "d3dx9xof.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Primitive member types of templates; None marks a member whose type is a
// template.
enum class XPrim : uint8_t { None, Word, Dword, Float, Double, Char, Uchar, Byte, Sword, Sdword, String };

struct XFileTemplateMember {
    XPrim prim = XPrim::None;
    std::string typeName;          // the template's name when prim is None
    std::string name;              // may be empty
    std::vector<std::string> dims; // array dimensions: decimal counts or names of earlier members
};

struct XFileTemplate {
    enum Restriction { kClosed, kOpen, kRestricted };
    std::string name;
    GUID id{};
    std::vector<XFileTemplateMember> members;
    Restriction restriction = kClosed;
    std::vector<std::string> allowed; // kRestricted: the child types allowed, by name
    std::vector<GUID> allowedIds;     // ...and, where given, by identifier (zero where not)
};

// A set of templates, looked up by name or identifier.
class XFileTemplates {
public:
    // Header, Frame, Mesh and the rest of the standard .x templates.
    static const XFileTemplates& Standard();

    const XFileTemplate* Find(const std::string& name) const;
    const XFileTemplate* Find(const GUID& id) const;
    // Adds a template, replacing one of the same name.
    void Add(const XFileTemplate& t);
    void AddAll(const XFileTemplates& more);
    size_t Size() const { return list_.size(); }

private:
    std::vector<XFileTemplate> list_;
};

struct XFileChild {
    size_t object = 0;      // index in XFileTree::objects
    bool reference = false; // given as a reference ({ name }) rather than inline
};

// One data object. `data` holds its members packed as ID3DXFileData::Lock
// shows them (WORD 2 bytes, DWORD/SDWORD/FLOAT 4, DOUBLE 8, CHAR/UCHAR/BYTE 1);
// a string member takes the size of a pointer and holds, there, the index of
// its text in `strings`.
struct XFileObject {
    std::string type; // template name
    GUID typeId{};
    std::string name; // empty when unnamed
    GUID id{};        // zero when none
    std::vector<uint8_t> data;
    std::vector<std::string> strings;
    std::vector<uint32_t> stringSlots; // offsets in `data` of the string members
    std::vector<XFileChild> children;
};

struct XFileTree {
    std::vector<XFileObject> objects; // every object of the file
    std::vector<size_t> top;          // the top-level objects, in file order
    std::vector<XFileTemplate> templates; // templates the file itself defines

    const XFileObject& Top(size_t i) const { return objects[top[i]]; }
    const XFileObject& Child(const XFileObject& o, size_t i) const { return objects[o.children[i].object]; }
};

// Limits that keep hostile files small and shallow.
constexpr size_t kXFileMaxBytes = 256u << 20; // a file, or its decompressed form
// A compressed file inflates to at most kXFileMaxRatio times its own size,
// or kXFileInflateFloor when that is more.
constexpr size_t kXFileMaxRatio = 128;
constexpr size_t kXFileInflateFloor = 16u << 20;
constexpr int kXFileMaxDepth = 128;           // nested data objects
constexpr int kXFileMaxTemplateDepth = 32;    // templates inside templates

// Parses a whole .x file (text, binary, "tzip" or "bzip") against the standard
// templates, those of `known` (may be null) and those the file defines. Returns
// S_OK or a D3DXFERR_* code; on failure the tree is left empty.
HRESULT XFileParse(const void* bytes, size_t size, const XFileTemplates* known, XFileTree* tree);
// Reads a whole file of at most kXFileMaxBytes; false when it cannot.
bool XFileReadWhole(const char* path, std::vector<uint8_t>* out);

// Parses a block that holds templates only (RegisterTemplates) and adds them to `into`.
HRESULT XFileParseTemplates(const void* bytes, size_t size, XFileTemplates* into);

// The tree and the object behind an ID3DXFileData this layer made; false for
// any other object.
bool XFileDataObject(ID3DXFileData* data, std::shared_ptr<const XFileTree>* tree, size_t* index);

// Reads an object's members in order; a read past the end sets !Ok() and gives zero.
class XFileReader {
public:
    explicit XFileReader(const XFileObject& o) : o_(o) {}
    WORD Word();
    DWORD Dword();
    float Float();
    double Double();
    BYTE Byte();
    const std::string& String();
    void Skip(size_t bytes);
    bool Ok() const { return ok_; }
    size_t Remaining() const { return ok_ ? o_.data.size() - pos_ : 0; }
    size_t Offset() const { return pos_; }

private:
    bool take(void* out, size_t n);
    const XFileObject& o_;
    size_t pos_ = 0;
    bool ok_ = true;
};

// Formats and parses "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX".
std::string XFileGuidText(const GUID& g);
bool XFileParseGuid(const std::string& text, GUID* out);
bool XFileGuidIsZero(const GUID& g);
