// A mesh that leads tails: chains of copies of itself, each easing after its
// predecessor with a lag, at offsets from it, with its predecessor's scale
// and opacity times a factor. Only the leader goes into a scene; it draws its
// copies.
#pragma once

#include <vector>

#include "staticmesh.h"

// The first rate of a leader (the float 0x4B7FEEFF).
const float kTailLeaderMark = 16772863.0f;

class TailMesh : public StaticMesh {
public:
    // A leader: loads "data\models\<file>" (its result is not checked) and is
    // never culled.
    explicit TailMesh(const char* file);
    // A copy drawing the predecessor's mesh, at the predecessor's pose.
    explicit TailMesh(TailMesh* predecessor);
    // Deletes every tail with its copies; the copies leave the mesh alone.
    ~TailMesh() override;

    MeshResource* GetMesh() { return m_pMesh; }

    // Appends a tail of `count` copies; each takes a (rate, offset) pair for
    // position x, y, z, pitch, yaw and roll, then the scale and alpha factors.
    void AddTail(int count, float rateX, float offsetX, float rateY, float offsetY, float rateZ, float offsetZ,
                 float ratePitch, float offsetPitch, float rateYaw, float offsetYaw, float rateRoll, float offsetRoll,
                 float scaleFactor, float alphaFactor);
    // Every copy of every tail: rates of x, y, z := positionRate; of pitch,
    // yaw, roll := rotationRate; and the two factors.
    void SetDynamics(float positionRate, float rotationRate, float scaleFactor, float alphaFactor);

    // Draws this object, then eases, poses and draws each tail's copies in
    // order with the step dt.
    int Render(Camera* camara, float dt) override;

    // Tails in the order they were added, each from the copy nearest the
    // leader; empty in a copy.
    std::vector<std::vector<TailMesh*>> m_tails;
    float m_rates[6]; // x, y, z, pitch, yaw, roll; a leader's first is the mark
    float m_alphaFactor;
    float m_scaleFactor;
    float m_offsets[6];
    float m_smoothedPose[6];

private:
    // Position x, y, z, pitch, yaw, roll.
    void GetPose(float pose[6]) const;
    void SetPose(const float pose[6]);
};
