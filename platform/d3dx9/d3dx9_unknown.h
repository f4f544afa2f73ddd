// Private to D3DX: reference counting and QueryInterface for its objects.
#pragma once

#include <d3d9.h>

#include <initializer_list>

namespace d3dx {

// An object of `Interface` that starts with one reference and deletes itself
// at the last Release. QueryInterface answers IUnknown and `ids`.
template <class Interface>
class Unknown : public Interface {
public:
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override
    {
        ULONG r = --refs_;
        if (r == 0)
            delete this;
        return r;
    }

protected:
    virtual ~Unknown() = default;

    HRESULT Query(REFIID riid, void** obj, std::initializer_list<const IID*> ids)
    {
        if (!obj)
            return E_POINTER;
        bool known = riid == IID_IUnknown;
        for (const IID* id : ids)
            known = known || riid == *id;
        if (!known) {
            *obj = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        *obj = static_cast<Interface*>(this);
        return S_OK;
    }

private:
    ULONG refs_ = 1;
};

} // namespace d3dx
