#pragma once

#include <windows.h>
#include <unknwn.h>

#include <cstddef>

namespace kx::frame {

// The class object of one catalogue class. Class objects live as long as the library; a
// client that keeps one beyond its call locks the server.
class ClassFactory final : public IClassFactory
{
public:
    explicit ClassFactory(std::size_t class_index) : class_index_(class_index) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

private:
    std::size_t class_index_;
};

// The class object of the class at that index of the catalogue.
ClassFactory& class_factory(std::size_t class_index);

}  // namespace kx::frame
