#include "tailmesh.h"

#include <d3dx9.h>

#include "renderer.h"

TailMesh::TailMesh(const char* file) : m_alphaFactor(1.0f), m_scaleFactor(1.0f)
{
    Load(file);
    for (int c = 0; c < 6; ++c) {
        m_rates[c] = 0.0f;
        m_offsets[c] = 0.0f;
        m_smoothedPose[c] = 0.0f;
    }
    m_rates[0] = kTailLeaderMark;
    m_hasSphere = false;
    m_hasBox = false;
}

TailMesh::TailMesh(TailMesh* predecessor) : StaticMesh(predecessor->GetMesh()), m_alphaFactor(1.0f), m_scaleFactor(1.0f)
{
    for (int c = 0; c < 6; ++c) {
        m_rates[c] = 0.0f;
        m_offsets[c] = 0.0f;
    }
    float pose[6];
    predecessor->GetPose(pose);
    SetPose(pose);
    for (int c = 0; c < 6; ++c)
        m_smoothedPose[c] = pose[c];
}

TailMesh::~TailMesh()
{
    for (std::vector<TailMesh*>& tail : m_tails)
        for (TailMesh* copy : tail)
            delete copy;
}

void TailMesh::GetPose(float pose[6]) const
{
    pose[0] = m_position.x;
    pose[1] = m_position.y;
    pose[2] = m_position.z;
    pose[3] = m_pitch;
    pose[4] = m_yaw;
    pose[5] = m_roll;
}

void TailMesh::SetPose(const float pose[6])
{
    m_position = D3DXVECTOR3(pose[0], pose[1], pose[2]);
    m_pitch = pose[3];
    m_yaw = pose[4];
    m_roll = pose[5];
}

void TailMesh::AddTail(int count, float rateX, float offsetX, float rateY, float offsetY, float rateZ, float offsetZ,
                       float ratePitch, float offsetPitch, float rateYaw, float offsetYaw, float rateRoll,
                       float offsetRoll, float scaleFactor, float alphaFactor)
{
    const float rates[6] = {rateX, rateY, rateZ, ratePitch, rateYaw, rateRoll};
    const float offsets[6] = {offsetX, offsetY, offsetZ, offsetPitch, offsetYaw, offsetRoll};
    std::vector<TailMesh*> tail;
    TailMesh* predecessor = this;
    for (int i = 0; i < count; ++i) {
        TailMesh* copy = new TailMesh(predecessor);
        for (int c = 0; c < 6; ++c) {
            copy->m_rates[c] = rates[c];
            copy->m_offsets[c] = offsets[c];
        }
        copy->m_scaleFactor = scaleFactor;
        copy->m_alphaFactor = alphaFactor;
        copy->SetPose(offsets);
        tail.push_back(copy);
        predecessor = copy;
    }
    m_tails.push_back(tail);
}

void TailMesh::SetDynamics(float positionRate, float rotationRate, float scaleFactor, float alphaFactor)
{
    for (std::vector<TailMesh*>& tail : m_tails)
        for (TailMesh* copy : tail) {
            for (int c = 0; c < 3; ++c) {
                copy->m_rates[c] = positionRate;
                copy->m_rates[3 + c] = rotationRate;
            }
            copy->m_scaleFactor = scaleFactor;
            copy->m_alphaFactor = alphaFactor;
        }
}

int TailMesh::Render(Camera* camara, float dt)
{
    StaticMesh::Render(camara, dt);
    if (m_rates[0] == kTailLeaderMark)
        GetPose(m_smoothedPose);

    for (std::vector<TailMesh*>& tail : m_tails) {
        TailMesh* p = this;
        for (TailMesh* f : tail) {
            float pose[6];
            for (int c = 0; c < 6; ++c) {
                f->m_smoothedPose[c] += dt * f->m_rates[c] * (p->m_smoothedPose[c] - f->m_smoothedPose[c]);
                pose[c] = f->m_offsets[c] + f->m_smoothedPose[c];
            }
            f->SetPose(pose);
            f->m_scale = p->m_scale * f->m_scaleFactor;
            f->m_alpha = p->m_alpha * f->m_alphaFactor;

            // The point at the offsets in the predecessor's frame.
            D3DXMATRIX rotation, translation, attach;
            D3DXMatrixRotationYawPitchRoll(&rotation, f->m_offsets[4], f->m_offsets[3], f->m_offsets[5]);
            D3DXMatrixTranslation(&translation, f->m_offsets[0], f->m_offsets[1], f->m_offsets[2]);
            attach = rotation * translation * p->m_world;
            const float attachAt[3] = {attach._41, attach._42, attach._43};
            float* position[3] = {&f->m_position.x, &f->m_position.y, &f->m_position.z};
            for (int c = 0; c < 3; ++c)
                *position[c] = (1.0f - f->m_rates[c]) * *position[c] + f->m_rates[c] * attachAt[c];

            f->UpdateWorld();
            m_pd3dDevice->SetTransform(D3DTS_WORLD, &f->m_world);
            f->Render(camara, dt);
            p = f;
        }
    }
    return 0;
}
