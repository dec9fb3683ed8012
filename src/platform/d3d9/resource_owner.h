// What a resource sees of the device that made it: the device's interface,
// on which the resource holds its references; the count of default-pool
// resources, which keeps Reset from going ahead; and the clear the device
// has put off, done before a lock hands out a device surface's bits. The
// device is the one class derived from it, so the resources know no more
// of the device than this and sit below it.
#pragma once

#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/ref_counted.h"

class ResourceOwner : public RefCounted<IDirect3DDevice9> {
public:
    void note_created(D3DPOOL pool)
    {
        if (pool == D3DPOOL_DEFAULT) {
            ++default_pool_resources_;
        }
    }

    void note_destroyed(D3DPOOL pool)
    {
        if (pool == D3DPOOL_DEFAULT && default_pool_resources_ > 0) {
            --default_pool_resources_;
        }
    }

    // Does now a clear put off to the next draw: before anything but a
    // draw reads or writes the buffers.
    virtual void settle_clear() = 0;

protected:
    ~ResourceOwner() = default;

    UINT default_pool_resources() const { return default_pool_resources_; }

private:
    UINT default_pool_resources_ = 0;
};
