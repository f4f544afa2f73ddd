#include "pulpo.h"

namespace {
const float kPi20 = 0.15707964f;
} // namespace

CPulpo::CPulpo() : CEstela("CPulpo")
{
}

int CPulpo::Init()
{
    const TrailDynamics d = InitLeader();
    // Toward the cube's corners: the near four first, then the far four.
    static const struct {
        float x, y, pitch;
    } arms[4] = {{-0.25f, 0.25f, kPi20}, {0.25f, 0.25f, kPi20}, {0.25f, -0.25f, -kPi20}, {-0.25f, -0.25f, -kPi20}};
    for (float z : {-0.25f, 0.25f})
        for (const auto& arm : arms)
            AddTrail(15, arm.x, arm.y, z, arm.pitch, d);
    FinishInit();
    return 0;
}
