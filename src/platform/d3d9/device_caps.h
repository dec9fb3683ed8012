// What the software device offers, one set of facts for the adapter that
// reports them and the device that holds its callers to them: the
// capabilities for a profile, the adapter's one display mode, the largest
// back buffer, and the texture formats a profile offers.
#pragma once

#include "platform/d3d9/d3d9types.h"
#include "platform/d3d9/d3d9_profile.h"

// Capabilities of a software device with the given profile.
D3DCAPS9 software_device_caps(const D3D9Profile& profile);

// The one display mode of the adapter.
D3DDISPLAYMODE software_display_mode();

// Largest back buffer side the device makes.
constexpr UINT kMaxBackBufferSide = 8192;

// Whether textures of this format can be made (in the profile and known to the sampler).
bool texture_format_offered(const D3D9Profile& profile, D3DFORMAT format);
