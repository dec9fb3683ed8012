// A failure planted by a test, in the one style of the device's hook: the
// first `skip` calls pass, then `times` calls fail (0: every one after).
#pragma once

struct FaultPlan {
    bool armed = false;
    unsigned skip = 0;
    unsigned times = 0; // 0: for ever

    // Whether this call is to fail; the call is counted.
    bool fires()
    {
        if (!armed)
            return false;
        if (skip > 0) {
            --skip;
            return false;
        }
        if (times > 0 && --times == 0)
            armed = false;
        return true;
    }
};
