#pragma once

#include <windows.h>
#include <unknwn.h>

#include <cstddef>

namespace kx::frame {

// The class object of one catalogue class. It counts as a live object while it exists.
class ClassFactory final : public IClassFactory
{
public:
    explicit ClassFactory(std::size_t class_index);
    ~ClassFactory();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

private:
    std::size_t class_index_;
    LONG references_ = 1;
};

}  // namespace kx::frame
