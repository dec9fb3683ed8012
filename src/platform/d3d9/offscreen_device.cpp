#include "platform/d3d9/offscreen_device.h"

#include <cstring>

OffscreenDevice::OffscreenDevice(UINT width, UINT height) : window_(width, height)
{
    d3d_ = Direct3DCreate9(D3D_SDK_VERSION);
    if (!d3d_) {
        return;
    }
    D3DPRESENT_PARAMETERS params;
    std::memset(&params, 0, sizeof params);
    params.BackBufferFormat = D3DFMT_UNKNOWN;
    params.SwapEffect = D3DSWAPEFFECT_DISCARD;
    params.Windowed = TRUE;
    result_ = d3d_->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &window_, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                 &params, &device_);
}

OffscreenDevice::~OffscreenDevice()
{
    ULONG device_left, d3d_left;
    release(&device_left, &d3d_left);
}

void OffscreenDevice::release(ULONG* device_left, ULONG* d3d_left)
{
    *device_left = device_ ? device_->Release() : 0;
    *d3d_left = d3d_ ? d3d_->Release() : 0;
    device_ = nullptr;
    d3d_ = nullptr;
}
