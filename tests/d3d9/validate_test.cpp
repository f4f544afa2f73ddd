// ValidateDevice: what it answers for stage set-ups against the device's
// capabilities, and against stricter ones a test gives it.
#include "device_fixture.h"

#include <d3d9_testing.h>

#include <functional>

namespace d3d9test {
namespace {

struct Stage {
    DWORD colorOp, arg1, arg2, alphaOp, alphaArg;
};

// The four-stage bump set-up: the normal map dotted with the light in the
// texture factor, times the base, times the detail, times the vertex colour.
const Stage kBumpDetail[] = {
    {D3DTOP_DOTPRODUCT3, D3DTA_TEXTURE, D3DTA_TFACTOR, D3DTOP_SELECTARG1, D3DTA_TEXTURE},
    {D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_CURRENT, D3DTOP_SELECTARG1, D3DTA_TEXTURE},
    {D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_CURRENT, D3DTOP_SELECTARG1, D3DTA_TEXTURE},
    {D3DTOP_MODULATE, D3DTA_DIFFUSE, D3DTA_CURRENT, D3DTOP_SELECTARG2, D3DTA_CURRENT},
};

struct ValidateCase {
    const char* name;
    std::vector<Stage> stages;                // stage i as given, the next one disabled
    std::function<void(D3DCAPS9&)> restrict;  // the capabilities validation checks
    HRESULT expected;
};

void PrintTo(const ValidateCase& c, std::ostream* os) { *os << c.name; }

class Validation : public DeviceTest, public ::testing::WithParamInterface<ValidateCase> {};

TEST_P(Validation, AnswersAsADeviceWithThoseCapabilities)
{
    const ValidateCase& c = GetParam();
    MakeDevice();
    D3DCAPS9 reported;
    ASSERT_EQ(m_dev->GetDeviceCaps(&reported), S_OK);
    D3DCAPS9 checked = reported;
    if (c.restrict) c.restrict(checked);
    ASSERT_TRUE(SetValidationCaps(m_dev, &checked));
    for (DWORD s = 0; s < c.stages.size(); ++s) {
        const Stage& st = c.stages[s];
        m_dev->SetTextureStageState(s, D3DTSS_COLOROP, st.colorOp);
        m_dev->SetTextureStageState(s, D3DTSS_COLORARG1, st.arg1);
        m_dev->SetTextureStageState(s, D3DTSS_COLORARG2, st.arg2);
        m_dev->SetTextureStageState(s, D3DTSS_ALPHAOP, st.alphaOp);
        m_dev->SetTextureStageState(s, st.alphaOp == D3DTOP_SELECTARG2 ? D3DTSS_ALPHAARG2 : D3DTSS_ALPHAARG1,
                                    st.alphaArg);
    }
    if (c.stages.size() < 8) {
        m_dev->SetTextureStageState((DWORD)c.stages.size(), D3DTSS_COLOROP, D3DTOP_DISABLE);
        m_dev->SetTextureStageState((DWORD)c.stages.size(), D3DTSS_ALPHAOP, D3DTOP_DISABLE);
    }
    DWORD passes = 0;
    EXPECT_EQ(m_dev->ValidateDevice(&passes), c.expected) << c.name;
    EXPECT_EQ(passes, 1u);

    // What GetDeviceCaps reports is not touched.
    D3DCAPS9 after;
    m_dev->GetDeviceCaps(&after);
    EXPECT_EQ(after.MaxTextureBlendStages, reported.MaxTextureBlendStages);
    EXPECT_EQ(after.TextureOpCaps, reported.TextureOpCaps);
}

std::vector<Stage> Stages(std::initializer_list<Stage> s) { return s; }
const std::vector<Stage> kFour(std::begin(kBumpDetail), std::end(kBumpDetail));
const std::vector<Stage> kThree(std::begin(kBumpDetail), std::begin(kBumpDetail) + 3);

INSTANTIATE_TEST_SUITE_P(
    Cases, Validation,
    ::testing::Values(
        ValidateCase{"four-stage bump with detail", kFour, nullptr, S_OK},
        ValidateCase{"four stages on three", kFour, [](D3DCAPS9& c) { c.MaxTextureBlendStages = 3; },
                     D3DERR_TOOMANYOPERATIONS},
        ValidateCase{"three textures at once on two", kThree, [](D3DCAPS9& c) { c.MaxSimultaneousTextures = 2; },
                     D3DERR_TOOMANYOPERATIONS},
        // The last stage reads no texture, so three textures are enough.
        ValidateCase{"four stages, three of them textured", kFour,
                     [](D3DCAPS9& c) { c.MaxSimultaneousTextures = 3; }, S_OK},
        ValidateCase{"no dot product", kFour, [](D3DCAPS9& c) { c.TextureOpCaps &= ~D3DTEXOPCAPS_DOTPRODUCT3; },
                     D3DERR_UNSUPPORTEDCOLOROPERATION},
        ValidateCase{"no alpha selection", kFour, [](D3DCAPS9& c) { c.TextureOpCaps &= ~D3DTEXOPCAPS_SELECTARG2; },
                     D3DERR_UNSUPPORTEDALPHAOPERATION},
        ValidateCase{"temporary register without the capability",
                     Stages({{D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_TEMP, D3DTOP_SELECTARG1, D3DTA_TEXTURE}}),
                     [](D3DCAPS9& c) { c.PrimitiveMiscCaps &= ~D3DPMISCCAPS_TSSARGTEMP; },
                     D3DERR_UNSUPPORTEDCOLORARG},
        ValidateCase{"unknown alpha argument",
                     Stages({{D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_SELECTARG1, 0x0000000C}}),
                     nullptr, D3DERR_UNSUPPORTEDALPHAARG},
        ValidateCase{"bump-environment map",
                     Stages({{D3DTOP_BUMPENVMAP, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_SELECTARG1, D3DTA_TEXTURE}}),
                     nullptr, D3DERR_UNSUPPORTEDCOLOROPERATION}));

using ValidationLimits = DeviceTest;

TEST_F(ValidationLimits, ComeOffAgainAndWantThePassCount)
{
    MakeDevice();
    for (DWORD s = 0; s < 4; ++s) {
        m_dev->SetTextureStageState(s, D3DTSS_COLOROP, kBumpDetail[s].colorOp);
        m_dev->SetTextureStageState(s, D3DTSS_COLORARG1, kBumpDetail[s].arg1);
        m_dev->SetTextureStageState(s, D3DTSS_COLORARG2, kBumpDetail[s].arg2);
    }
    D3DCAPS9 caps;
    m_dev->GetDeviceCaps(&caps);
    caps.MaxTextureBlendStages = 2;
    ASSERT_TRUE(SetValidationCaps(m_dev, &caps));
    DWORD passes = 0;
    EXPECT_EQ(m_dev->ValidateDevice(&passes), D3DERR_TOOMANYOPERATIONS);
    ASSERT_TRUE(SetValidationCaps(m_dev, nullptr));
    EXPECT_EQ(m_dev->ValidateDevice(&passes), S_OK);
    EXPECT_EQ(m_dev->ValidateDevice(nullptr), D3DERR_INVALIDCALL);
}

} // namespace
} // namespace d3d9test
