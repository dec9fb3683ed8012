// Owning pointers to Direct3D interfaces: the reference a call handed out is
// given back with Release when the pointer goes, on every path.
#pragma once

#include <memory>

#include "platform/d3d9/d3d9.h"

struct ReleaseInterface {
    void operator()(IUnknown* object) const { object->Release(); }
};

template <class Interface>
using InterfacePtr = std::unique_ptr<Interface, ReleaseInterface>;

// For a reference kept in a plain record rather than a scope: given back,
// and the pointer cleared.
template <class Interface>
void release_interface(Interface*& pointer)
{
    if (pointer) {
        pointer->Release();
        pointer = nullptr;
    }
}
