// AddRef and Release of every COM-like object the device hands out, over one
// count. Each object says only what its references mean: on_add_ref runs
// after every AddRef with the new count, on_release after every Release
// with the count left (at 0 it may delete the object). An object that shares
// another's count (a texture's level surfaces) names it in count_owner.
#pragma once

#include "platform/d3d9/d3d9.h"

template <class Interface>
class RefCounted : public Interface {
public:
    ULONG AddRef() final
    {
        if (IUnknown* owner = count_owner()) {
            return owner->AddRef();
        }
        on_add_ref(++refs_);
        return refs_;
    }

    ULONG Release() final
    {
        if (IUnknown* owner = count_owner()) {
            return owner->Release();
        }
        if (refs_ == 0) {
            return 0;
        }
        const ULONG left = --refs_;
        on_release(left); // may delete this
        return left;
    }

protected:
    // `initial` references: 1 for the creator's, 0 for an object its maker keeps.
    explicit RefCounted(ULONG initial = 1) : refs_(initial) {}

    ULONG refs() const { return refs_; }

    virtual IUnknown* count_owner() const { return nullptr; }
    virtual void on_add_ref(ULONG count) { (void)count; }
    virtual void on_release(ULONG left) = 0;

private:
    ULONG refs_;
};
