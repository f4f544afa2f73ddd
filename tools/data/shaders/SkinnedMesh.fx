// Skinned meshes drawn with indexed vertex blending.
//
// Each vertex is blended from CurNumBones + 1 palette matrices: the blend
// weights give the first CurNumBones, the last takes 1 minus their sum (never
// below 0). The blend indices arrive as a D3DCOLOR. The palette holds
// bone offset x bone frame x view, so positions and normals come out in view
// space, where vLightDir (pointing towards the light) lights them with an
// ambient term plus the diffuse term; the texture is modulated by the result.

#define MAX_PALETTE 26
#define MAX_INFLUENCES 4

static const float4 kAmbient = {0.3f, 0.3f, 0.3f, 1.0f};
static const float4 kDiffuse = {0.7f, 0.7f, 0.7f, 0.0f};

float4x4 mWorldMatrixArray[MAX_PALETTE] : WORLDMATRIXARRAY;
float4x4 mViewProj : VIEWPROJECTION;
float4 vLightDir = {0.0f, 0.0f, -1.0f, 0.0f};
int CurNumBones = 1;
texture tDiffuse;

sampler2D sDiffuse = sampler_state
{
    Texture = <tDiffuse>;
    MinFilter = Linear;
    MagFilter = Linear;
    MipFilter = Linear;
};

struct VS_INPUT
{
    float4 Pos : POSITION;
    float4 BlendWeights : BLENDWEIGHT;
    float4 BlendIndices : BLENDINDICES;
    float3 Normal : NORMAL;
    float2 Tex0 : TEXCOORD0;
};

struct VS_OUTPUT
{
    float4 Pos : POSITION;
    float4 Diffuse : COLOR0;
    float2 Tex0 : TEXCOORD0;
};

VS_OUTPUT SkinVS(VS_INPUT i)
{
    VS_OUTPUT o;
    const int4 index = D3DCOLORtoUBYTE4(i.BlendIndices);
    const int weights = clamp(CurNumBones, 0, MAX_INFLUENCES - 1);
    float3 pos = 0.0f;
    float3 normal = 0.0f;
    float last = 1.0f;
    for (int b = 0; b < weights; b++)
    {
        const float w = i.BlendWeights[b];
        const float4x4 m = mWorldMatrixArray[index[b]];
        last -= w;
        pos += mul(i.Pos, m).xyz * w;
        normal += mul(i.Normal, (float3x3)m) * w;
    }
    last = max(last, 0.0f);
    const float4x4 lastMatrix = mWorldMatrixArray[index[weights]];
    pos += mul(i.Pos, lastMatrix).xyz * last;
    normal += mul(i.Normal, (float3x3)lastMatrix) * last;

    o.Pos = mul(float4(pos, 1.0f), mViewProj);
    normal = normalize(normal);
    o.Diffuse = kAmbient + kDiffuse * max(0.0f, dot(normal, vLightDir.xyz));
    o.Diffuse.a = 1.0f;
    o.Tex0 = i.Tex0;
    return o;
}

float4 SkinPS(VS_OUTPUT i) : COLOR0
{
    return tex2D(sDiffuse, i.Tex0) * i.Diffuse;
}

technique Skinning
{
    pass P0
    {
        VertexShader = compile vs_2_0 SkinVS();
        PixelShader = compile ps_2_0 SkinPS();
    }
}
