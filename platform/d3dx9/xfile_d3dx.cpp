// ID3DXFile, ID3DXFileEnumObject and ID3DXFileData over an XFileTree.
#include "d3dx9xof.h"
#include "xfile_tree.h"

#include "d3dx9_unknown.h"

#include "mscrt.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

const IID IID_ID3DXFile = {0xcef08cf9, 0x7b4f, 0x4429, {0x96, 0x24, 0x2a, 0x69, 0x0a, 0x93, 0x32, 0x01}};
const IID IID_ID3DXFileEnumObject = {0xcef08cfa, 0x7b4f, 0x4429, {0x96, 0x24, 0x2a, 0x69, 0x0a, 0x93, 0x32, 0x01}};
const IID IID_ID3DXFileData = {0xcef08cfb, 0x7b4f, 0x4429, {0x96, 0x24, 0x2a, 0x69, 0x0a, 0x93, 0x32, 0x01}};

namespace {

class FileEnum;

class FileData final : public d3dx::Unknown<ID3DXFileData> {
public:
    FileData(FileEnum* owner, std::shared_ptr<const XFileTree> tree, size_t index, bool reference);
    ~FileData() override;

    const std::shared_ptr<const XFileTree>& Tree() const { return tree_; }
    size_t Index() const { return index_; }

    HRESULT QueryInterface(REFIID riid, void** obj) override { return Query(riid, obj, {&IID_ID3DXFileData}); }
    HRESULT GetEnum(ID3DXFileEnumObject** out) override;
    HRESULT GetName(LPSTR name, SIZE_T* size) override
    {
        if (!size)
            return D3DXFERR_BADVALUE;
        const std::string& n = object().name;
        if (!name) {
            *size = n.size() + 1;
            return S_OK;
        }
        if (*size < n.size() + 1)
            return D3DXFERR_BADVALUE;
        std::memcpy(name, n.c_str(), n.size() + 1);
        *size = n.size() + 1;
        return S_OK;
    }
    HRESULT GetId(GUID* id) override
    {
        if (!id)
            return D3DXFERR_BADVALUE;
        *id = object().id;
        return S_OK;
    }
    HRESULT Lock(SIZE_T* size, LPCVOID* data) override
    {
        if (!size || !data)
            return D3DXFERR_BADVALUE;
        const XFileObject& o = object();
        if (!built_) {
            // Strings go out as pointers to the tree's own text.
            locked_ = o.data;
            for (uint32_t offset : o.stringSlots) {
                uint64_t index = 0;
                std::memcpy(&index, locked_.data() + offset, sizeof(index));
                const char* text = index < o.strings.size() ? o.strings[index].c_str() : nullptr;
                std::memcpy(locked_.data() + offset, &text, sizeof(text));
            }
            built_ = true;
        }
        *size = locked_.size();
        *data = locked_.empty() ? nullptr : locked_.data();
        return S_OK;
    }
    HRESULT Unlock() override { return S_OK; }
    HRESULT GetType(GUID* type) override
    {
        if (!type)
            return D3DXFERR_BADVALUE;
        *type = object().typeId;
        return S_OK;
    }
    BOOL IsReference() override { return reference_ ? TRUE : FALSE; }
    HRESULT GetChildren(SIZE_T* count) override
    {
        if (!count)
            return D3DXFERR_BADVALUE;
        *count = object().children.size();
        return S_OK;
    }
    HRESULT GetChild(SIZE_T i, ID3DXFileData** out) override;

private:
    const XFileObject& object() const { return tree_->objects[index_]; }
    FileEnum* owner_;
    std::shared_ptr<const XFileTree> tree_;
    size_t index_;
    bool reference_;
    bool built_ = false;
    std::vector<uint8_t> locked_;
};

class FileEnum final : public d3dx::Unknown<ID3DXFileEnumObject> {
public:
    FileEnum(ID3DXFile* file, std::shared_ptr<const XFileTree> tree) : file_(file), tree_(std::move(tree))
    {
        file_->AddRef();
    }
    ~FileEnum() override { file_->Release(); }
    const XFileTree& Tree() const { return *tree_; }

    HRESULT QueryInterface(REFIID riid, void** obj) override { return Query(riid, obj, {&IID_ID3DXFileEnumObject}); }
    HRESULT GetFile(ID3DXFile** out) override
    {
        if (!out)
            return D3DXFERR_BADVALUE;
        file_->AddRef();
        *out = file_;
        return S_OK;
    }
    HRESULT GetChildren(SIZE_T* count) override
    {
        if (!count)
            return D3DXFERR_BADVALUE;
        *count = tree_->top.size();
        return S_OK;
    }
    HRESULT GetChild(SIZE_T i, ID3DXFileData** out) override
    {
        if (!out)
            return D3DXFERR_BADVALUE;
        *out = nullptr;
        if (i >= tree_->top.size())
            return D3DXFERR_NOMOREOBJECTS;
        return make(tree_->top[i], false, out);
    }
    HRESULT GetDataObjectById(REFGUID id, ID3DXFileData** out) override
    {
        if (!out)
            return D3DXFERR_BADVALUE;
        *out = nullptr;
        for (size_t i = 0; i < tree_->objects.size(); ++i)
            if (tree_->objects[i].id == id)
                return make(i, false, out);
        return D3DXFERR_NOTFOUND;
    }
    HRESULT GetDataObjectByName(LPCSTR name, ID3DXFileData** out) override
    {
        if (!out || !name)
            return D3DXFERR_BADVALUE;
        *out = nullptr;
        for (size_t i = 0; i < tree_->objects.size(); ++i)
            if (tree_->objects[i].name == name)
                return make(i, false, out);
        return D3DXFERR_NOTFOUND;
    }

    HRESULT make(size_t index, bool reference, ID3DXFileData** out)
    {
        FileData* d = new (std::nothrow) FileData(this, tree_, index, reference);
        if (!d)
            return E_OUTOFMEMORY;
        *out = d;
        return S_OK;
    }

private:
    ID3DXFile* file_;
    std::shared_ptr<const XFileTree> tree_;
};

FileData::FileData(FileEnum* owner, std::shared_ptr<const XFileTree> tree, size_t index, bool reference)
    : owner_(owner), tree_(std::move(tree)), index_(index), reference_(reference)
{
    owner_->AddRef();
}

FileData::~FileData() { owner_->Release(); }

HRESULT FileData::GetEnum(ID3DXFileEnumObject** out)
{
    if (!out)
        return D3DXFERR_BADVALUE;
    owner_->AddRef();
    *out = owner_;
    return S_OK;
}

HRESULT FileData::GetChild(SIZE_T i, ID3DXFileData** out)
{
    if (!out)
        return D3DXFERR_BADVALUE;
    *out = nullptr;
    const XFileObject& o = object();
    if (i >= o.children.size())
        return D3DXFERR_NOMOREOBJECTS;
    return owner_->make(o.children[i].object, o.children[i].reference, out);
}

class File final : public d3dx::Unknown<ID3DXFile> {
public:
    HRESULT QueryInterface(REFIID riid, void** obj) override { return Query(riid, obj, {&IID_ID3DXFile}); }
    HRESULT CreateEnumObject(LPCVOID source, D3DXF_FILELOADOPTIONS flags, ID3DXFileEnumObject** out) override
    {
        if (!out || !source)
            return D3DXFERR_BADVALUE;
        *out = nullptr;
        std::vector<uint8_t> bytes;
        const void* data = nullptr;
        size_t size = 0;
        switch (flags) {
        case D3DXF_FILELOAD_FROMFILE:
            if (!XFileReadWhole((const char*)source, &bytes))
                return D3DXFERR_FILENOTFOUND;
            data = bytes.data();
            size = bytes.size();
            break;
        case D3DXF_FILELOAD_FROMWFILE: {
            std::string path;
            for (const wchar_t* w = (const wchar_t*)source; *w; ++w) {
                if (*w > 0x7F)
                    return D3DXFERR_FILENOTFOUND;
                path += (char)*w;
            }
            if (!XFileReadWhole(path.c_str(), &bytes))
                return D3DXFERR_FILENOTFOUND;
            data = bytes.data();
            size = bytes.size();
            break;
        }
        case D3DXF_FILELOAD_FROMMEMORY: {
            const D3DXF_FILELOADMEMORY* m = (const D3DXF_FILELOADMEMORY*)source;
            if (!m->lpMemory)
                return D3DXFERR_BADVALUE;
            data = m->lpMemory;
            size = m->dSize;
            break;
        }
        case D3DXF_FILELOAD_FROMRESOURCE:
            // Linux executables carry no Windows resources.
            return D3DXFERR_RESOURCENOTFOUND;
        default:
            return D3DXFERR_BADVALUE;
        }
        auto tree = std::make_shared<XFileTree>();
        HRESULT hr = XFileParse(data ? data : "", size, &templates_, tree.get());
        if (FAILED(hr))
            return hr;
        FileEnum* e = new (std::nothrow) FileEnum(this, std::move(tree));
        if (!e)
            return E_OUTOFMEMORY;
        *out = e;
        return S_OK;
    }
    HRESULT CreateSaveObject(LPCVOID, D3DXF_FILESAVEOPTIONS, D3DXF_FILEFORMAT, ID3DXFileSaveObject** out) override
    {
        if (out)
            *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT RegisterTemplates(LPCVOID data, SIZE_T size) override
    {
        if (!data)
            return D3DXFERR_BADVALUE;
        return XFileParseTemplates(data, size, &templates_);
    }
    HRESULT RegisterEnumTemplates(ID3DXFileEnumObject* e) override
    {
        FileEnum* fe = dynamic_cast<FileEnum*>(e);
        if (!fe)
            return D3DXFERR_BADVALUE;
        for (const XFileTemplate& t : fe->Tree().templates)
            templates_.Add(t);
        return S_OK;
    }

private:
    XFileTemplates templates_ = XFileTemplates::Standard();
};

} // namespace

HRESULT D3DXFileCreate(ID3DXFile** out)
{
    if (!out)
        return E_POINTER;
    *out = new (std::nothrow) File();
    return *out ? S_OK : E_OUTOFMEMORY;
}

bool XFileReadWhole(const char* path, std::vector<uint8_t>* out)
{
    FILE* f = ms_fopen(path, "rb");
    if (!f)
        return false;
    bool ok = std::fseek(f, 0, SEEK_END) == 0;
    const long size = ok ? std::ftell(f) : -1;
    ok = ok && size >= 0 && (size_t)size <= kXFileMaxBytes && std::fseek(f, 0, SEEK_SET) == 0;
    if (ok) {
        out->resize((size_t)size);
        ok = size == 0 || std::fread(out->data(), 1, (size_t)size, f) == (size_t)size;
    }
    std::fclose(f);
    return ok;
}

bool XFileDataObject(ID3DXFileData* data, std::shared_ptr<const XFileTree>* tree, size_t* index)
{
    FileData* d = dynamic_cast<FileData*>(data);
    if (!d)
        return false;
    *tree = d->Tree();
    *index = d->Index();
    return true;
}
