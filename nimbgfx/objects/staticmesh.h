// The drawable form of a .x mesh from "data\models\", with an opacity and a
// two-sided flag; base of the crowds and of the tail mesh.
#pragma once

#include <windows.h>
#include <d3d9.h>

#include "meshresource.h"
#include "scene.h"

class StaticMesh : public SceneObject {
public:
    // Owns a new empty MeshResource until Load fills it.
    StaticMesh();
    // Deletes the mesh it owns; a borrowed one is left alone.
    ~StaticMesh() override;

    // Loads "data\models\<file>", logs its vertex format, takes its bounding
    // sphere and box and makes the drawn copy. A file that cannot be loaded
    // is reported and its failure returned; the object then draws nothing.
    HRESULT Load(const char* file);
    // Draws the mesh with the world transform the caller set: blended without
    // depth test when m_alpha is not exactly 1, without culling when
    // two-sided. Returns 0.
    int Render(Camera* camara, float frameTime) override;

    bool m_twoSided;
    float m_alpha; // 0..1; exactly 1 is opaque
    MeshResource* m_pMesh;

protected:
    // Draws a mesh another object owns, and makes none of its own.
    explicit StaticMesh(MeshResource* borrowed);

private:
    MeshResource* m_pOwnMesh; // what the destructor deletes
};
