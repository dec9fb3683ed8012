// Format names come from the one table of format facts; every tool that
// prints a format uses this.
#include "texture/format_names.h"

#include "platform/d3d9/texel_format_facts.h"

const char* format_name(D3DFORMAT format)
{
    const TexelFormatFacts* facts = texel_format_facts(format);
    return facts ? facts->name : nullptr;
}
