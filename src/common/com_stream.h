// What both programs' WIC code needs from COM (Windows only): a pointer that
// releases, the apartment of a call, and the base of the IStream that WIC
// reads a PNG from or writes one to.
#ifndef VANTREL_COM_STREAM_H
#define VANTREL_COM_STREAM_H

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <objbase.h>
#include <objidl.h>

#include <cstdint>

// An interface pointer that releases its reference when it goes.
template <class T>
class com_ptr {
public:
    com_ptr() = default;
    ~com_ptr() { reset(); }
    com_ptr(const com_ptr&) = delete;
    com_ptr& operator=(const com_ptr&) = delete;

    // For the out-parameter of a call that creates the object.
    T** put()
    {
        reset();
        return &p_;
    }
    void reset()
    {
        if (p_ != nullptr)
            p_->Release();
        p_ = nullptr;
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }

private:
    T* p_ = nullptr;
};

// COM for the calls of one scope, on whatever thread runs them. A thread
// that already has an apartment of the other kind keeps it
// (RPC_E_CHANGED_MODE): WIC's objects work in either, and only a successful
// CoInitializeEx, S_FALSE included, is balanced by CoUninitialize.
class com_apartment {
public:
    com_apartment() : result_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~com_apartment()
    {
        if (SUCCEEDED(result_))
            CoUninitialize();
    }
    com_apartment(const com_apartment&) = delete;
    com_apartment& operator=(const com_apartment&) = delete;

private:
    HRESULT result_;
};

// An IStream whose methods are all E_NOTIMPL but those a subclass
// overrides. It lives in the scope of the code that hands it to WIC, which
// releases every WIC object before that scope ends: the count of
// references is kept as COM asks, but reaching zero frees nothing.
class stream_base : public IStream {
public:
    stream_base() = default;
    stream_base(const stream_base&) = delete;
    stream_base& operator=(const stream_base&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (object == nullptr)
            return E_POINTER;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_ISequentialStream) && !IsEqualIID(iid, IID_IStream)) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = static_cast<IStream*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&references_); }
    ULONG STDMETHODCALLTYPE Release() override { return InterlockedDecrement(&references_); }

    HRESULT STDMETHODCALLTYPE Read(void*, ULONG, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG*, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }

protected:
    ~stream_base() = default;

    // The position a Seek asks for, from the current one and the stream's
    // size; false if it would be before the start.
    static bool seek_target(LARGE_INTEGER move, DWORD origin, uint64_t current, uint64_t size, uint64_t& target)
    {
        const uint64_t base = origin == STREAM_SEEK_SET ? 0 : origin == STREAM_SEEK_CUR ? current : size;
        if (origin > STREAM_SEEK_END || (move.QuadPart < 0 && uint64_t(-(move.QuadPart + 1)) >= base))
            return false;
        target = base + uint64_t(move.QuadPart);
        return true;
    }

    // What Stat gives: a stream of the given size without a name, whatever
    // the flags ask; the caller frees the name with CoTaskMemFree, which
    // takes null.
    static HRESULT describe(STATSTG* into, uint64_t size)
    {
        if (into == nullptr)
            return STG_E_INVALIDPOINTER;
        *into = STATSTG{};
        into->type = STGTY_STREAM;
        into->cbSize.QuadPart = size;
        return S_OK;
    }

private:
    LONG references_ = 1;
};

#endif
