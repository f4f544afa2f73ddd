#include "d3dx9core.h"

#include "d3dx9_unknown.h"

#include <new>

const IID IID_ID3DXBuffer = {0x8ba5fb08, 0x5195, 0x40e2, {0xac, 0x58, 0x0d, 0x98, 0x9c, 0x3a, 0x01, 0x02}};

namespace {

class Buffer final : public d3dx::Unknown<ID3DXBuffer> {
public:
    explicit Buffer(DWORD size) : size_(size), data_(new (std::nothrow) BYTE[size ? size : 1]()) {}
    ~Buffer() { delete[] data_; }
    bool ok() const { return data_ != nullptr; }

    HRESULT QueryInterface(REFIID riid, void** obj) override { return Query(riid, obj, {&IID_ID3DXBuffer}); }
    LPVOID GetBufferPointer() override { return data_; }
    DWORD GetBufferSize() override { return size_; }

private:
    DWORD size_;
    BYTE* data_;
};

} // namespace

HRESULT D3DXCreateBuffer(DWORD numBytes, ID3DXBuffer** buffer)
{
    if (!buffer)
        return D3DERR_INVALIDCALL;
    *buffer = nullptr;
    Buffer* b = new (std::nothrow) Buffer(numBytes);
    if (!b || !b->ok()) {
        delete b;
        return E_OUTOFMEMORY;
    }
    *buffer = b;
    return S_OK;
}
